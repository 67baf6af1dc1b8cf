#pragma once
// The texts the benchmarks run on, each under the label its rows carry.

#include <string>
#include <vector>

struct BenchInput {
  std::string label;  // mojibake_1MiB, ascii_1MiB, russian_1MiB, short_40B
  std::string text;
  bool iconvCanRepair;  // the two-step iconv baseline applies (mojibake and ASCII)
};

// Built once: Russian prose and every Windows-1251 symbol but 0x98, as
// mojibake (its Windows-1251 bytes read as Latin-1 and written as UTF-8), as
// correct UTF-8, plus plain ASCII and a 40-byte mojibake string.
const std::vector<BenchInput>& BenchInputs();

// What the repair must give for each input: the Windows-1251 text decoded
// by iconv, or the input itself when it already is correct Russian UTF-8.
const std::string& ExpectedRepair(const BenchInput& input);
