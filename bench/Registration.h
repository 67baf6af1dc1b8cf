#pragma once
// Registration of each family of benchmarks; each checks its results first.

void RegisterRepairBenchmarks();
void RegisterFileBenchmarks();
