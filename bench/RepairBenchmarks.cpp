// The repair through "Win1251ToUTF8" as the UI runtime calls it, beside the
// bandwidth limit (memcpy) and glibc's iconv doing the same repair in two
// steps (UTF-8 to ISO-8859-1, then CP1251 to UTF-8, descriptors reused).

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/AllocationCounter.h"
#include "bench/BenchGame.h"
#include "bench/BenchInputs.h"
#include "bench/Registration.h"

namespace {

void Fail(const std::string& why) {
  std::fprintf(stderr, "benchmark setup: %s\n", why.c_str());
  std::abort();
}

void BM_Memcpy(benchmark::State& state, const BenchInput* input) {
  std::string out(input->text.size(), '\0');
  for (auto _ : state) {
    std::memcpy(out.data(), input->text.data(), input->text.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->text.size()));
}

class IconvRepair {
 public:
  IconvRepair()
      : toLatin1_(iconv_open("ISO-8859-1", "UTF-8")), fromWindows1251_(iconv_open("UTF-8", "CP1251")) {
    if (toLatin1_ == kFailed || fromWindows1251_ == kFailed) Fail("iconv_open");
  }
  ~IconvRepair() {
    iconv_close(toLatin1_);
    iconv_close(fromWindows1251_);
  }
  IconvRepair(const IconvRepair&) = delete;
  IconvRepair& operator=(const IconvRepair&) = delete;

  // Returns the output length; `latin1` holds n bytes, `out` 3n.
  std::size_t Run(const std::string& text, char* latin1, char* out, std::size_t outSize) {
    const std::size_t latin1Length = Step(toLatin1_, text.data(), text.size(), latin1, text.size());
    return Step(fromWindows1251_, latin1, latin1Length, out, outSize);
  }

 private:
  static inline const iconv_t kFailed = reinterpret_cast<iconv_t>(-1);

  static std::size_t Step(iconv_t descriptor, const char* in, std::size_t inSize, char* out, std::size_t outSize) {
    iconv(descriptor, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    char* inAt = const_cast<char*>(in);
    char* outAt = out;
    std::size_t outLeft = outSize;
    if (iconv(descriptor, &inAt, &inSize, &outAt, &outLeft) == static_cast<std::size_t>(-1)) Fail("iconv");
    return outSize - outLeft;
  }

  iconv_t toLatin1_;
  iconv_t fromWindows1251_;
};

void BM_Iconv(benchmark::State& state, const BenchInput* input) {
  IconvRepair repair;
  std::string latin1(input->text.size(), '\0');
  std::string out(3 * input->text.size(), '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(repair.Run(input->text, latin1.data(), out.data(), out.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->text.size()));
}

void BM_Repair(benchmark::State& state, const BenchInput* input) {
  void* handler = bench::GameFunction("Win1251ToUTF8");
  UiValue argument{};
  argument.kindWord = UiValue::kString;
  argument.payload.string = input->text.c_str();
  bench::CallFunction(handler, &argument, 1);  // holds a block of the right size

  const std::uint64_t allocationsBefore = allocation_counter::Count();
  for (auto _ : state) {
    UiValue result = bench::CallFunction(handler, &argument, 1);
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  const std::uint64_t allocations = allocation_counter::Count() - allocationsBefore;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input->text.size()));
  state.counters["allocs_per_call"] =
      benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}

// Both ways must give the expected text before anything is timed.
void CheckResults() {
  void* handler = bench::GameFunction("Win1251ToUTF8");
  IconvRepair repair;
  for (const BenchInput& input : BenchInputs()) {
    UiValue argument{};
    argument.kindWord = UiValue::kString;
    argument.payload.string = input.text.c_str();
    const UiValue result = bench::CallFunction(handler, &argument, 1);
    if (result.kindWord != UiValue::kString || ExpectedRepair(input) != result.payload.string) {
      Fail("Win1251ToUTF8 gives a wrong text for " + input.label);
    }
    if (!input.iconvCanRepair) continue;
    std::string latin1(input.text.size(), '\0');
    std::string out(3 * input.text.size(), '\0');
    out.resize(repair.Run(input.text, latin1.data(), out.data(), out.size()));
    if (out != ExpectedRepair(input)) Fail("iconv gives a wrong text for " + input.label);
  }
}

}  // namespace

void RegisterRepairBenchmarks() {
  CheckResults();
  for (const BenchInput& input : BenchInputs()) {
    benchmark::RegisterBenchmark(("BM_Memcpy/" + input.label).c_str(), BM_Memcpy, &input);
    if (input.iconvCanRepair) benchmark::RegisterBenchmark(("BM_Iconv/" + input.label).c_str(), BM_Iconv, &input);
    benchmark::RegisterBenchmark(("BM_Repair/" + input.label).c_str(), BM_Repair, &input);
  }
}
