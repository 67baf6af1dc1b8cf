// "saveFile" writing 1 MiB beside a plain open, write and close of the same
// bytes (no temporary file, no fsync in either), and one log line with
// flush after write.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "bench/BenchGame.h"
#include "bench/BenchInputs.h"
#include "bench/Registration.h"
#include "support/IDebugLog.h"

namespace {

namespace fs = std::filesystem;

const BenchInput& Megabyte() {
  for (const BenchInput& input : BenchInputs()) {
    if (input.label == "ascii_1MiB") return input;
  }
  std::abort();
}

fs::path GameDirectory() { return fs::absolute("game"); }

void BM_SaveFile(benchmark::State& state) {
  void* handler = bench::GameFunction("saveFile");
  const std::string& text = Megabyte().text;
  UiValue args[2] = {};
  args[0].kindWord = UiValue::kString;
  args[0].payload.string = "saved.txt";
  args[1].kindWord = UiValue::kString;
  args[1].payload.string = text.c_str();

  bench::MutedConsole muted;
  for (auto _ : state) {
    const UiValue result = bench::CallFunction(handler, args, 2);
    if (result.kindWord != UiValue::kBoolean || result.payload.boolean != 1) {
      state.SkipWithError("saveFile answered false");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_RawWrite(benchmark::State& state) {
  const std::string& text = Megabyte().text;
  const std::string path = (GameDirectory() / "raw.txt").string();
  for (auto _ : state) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const bool written = file >= 0 && write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (file >= 0) close(file);
    if (!written) {
      state.SkipWithError("write failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_LogLine(benchmark::State& state) {
  static const char kLine[] = "SaveFile done";
  IDebugLog::SetFlushAfterWrite(true);
  bench::MutedConsole muted;
  for (auto _ : state) LogInfo(kLine);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (sizeof kLine - 1)));
}

void CheckSaveFile() {
  fs::create_directories(GameDirectory());
  bench::SetGameDirectory(GameDirectory().string());
  void* handler = bench::GameFunction("saveFile");
  UiValue args[2] = {};
  args[0].kindWord = UiValue::kString;
  args[0].payload.string = "saved.txt";
  args[1].kindWord = UiValue::kString;
  args[1].payload.string = Megabyte().text.c_str();
  UiValue result{};
  {
    bench::MutedConsole muted;
    result = bench::CallFunction(handler, args, 2);
  }
  std::ifstream saved(GameDirectory() / "saved.txt", std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(saved), std::istreambuf_iterator<char>()};
  if (result.kindWord != UiValue::kBoolean || result.payload.boolean != 1 || bytes != Megabyte().text) {
    std::fprintf(stderr, "benchmark setup: saveFile did not write the text\n");
    std::abort();
  }
}

}  // namespace

void RegisterFileBenchmarks() {
  CheckSaveFile();
  benchmark::RegisterBenchmark(("BM_SaveFile/" + Megabyte().label).c_str(), BM_SaveFile);
  benchmark::RegisterBenchmark(("BM_RawWrite/" + Megabyte().label).c_str(), BM_RawWrite);
  benchmark::RegisterBenchmark("BM_LogLine", BM_LogLine);
}
