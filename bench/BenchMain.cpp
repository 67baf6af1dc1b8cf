// One run measures the plug-in's code and its baselines side by side, so
// their ratios hold on whatever machine runs it.

#include <benchmark/benchmark.h>

#include "bench/Registration.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterRepairBenchmarks();
  RegisterFileBenchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
