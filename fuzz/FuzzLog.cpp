// The debug log with arbitrary data. The first byte picks one of two runs:
// - layout: messages of any length and content ("%s" with the data as its
//   argument), at any level, mixed with source tags, indentation and blocks;
//   the file must hold exactly the lines a model written here predicts;
// - formats: the I64 adapter with formats built from the data out of safe
//   directives only (64-bit integers, literal text, "%%"), against the C
//   library formatting the same format spelled with "ll".

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "support/IDebugLog.h"
#include "support/LogFormat.h"

namespace {

constexpr char kLogFile[] = "fuzz_log.log";
constexpr std::size_t kLongestMessage = 8191;

std::string UpToZero(const std::string& text) { return text.substr(0, text.find('\0')); }

// The log as documented: lines of indentation, tag header and text, CR LF.
struct LayoutModel {
  std::string header;
  std::int32_t depth = 0;
  bool blockOpen = false;
  std::int32_t column = 0;
  std::string file;

  void Write(const std::string& text) {
    for (const char c : text) {
      file += c == '\n' ? std::string("\r\n") : std::string(1, c);
      column += c == '\t' ? 4 - column % 4 : 1;
    }
  }
  void PadTo(std::int32_t target) {
    if (target <= column) return;
    const std::int32_t distance = target - column;
    file += std::string(static_cast<std::size_t>(distance / 4), '\t') +
            std::string(static_cast<std::size_t>(distance % 4), ' ');
    column = target;
  }
  void Line(const std::string& message) {
    if (blockOpen) {
      PadTo((static_cast<std::int32_t>(header.size()) + 4 * depth + 3) / 4 * 4);
    } else {
      PadTo(4 * depth);
      Write(header);
    }
    Write(message.substr(0, kLongestMessage));
    file += "\r\n";
    column = 0;
  }
  void BeginBlock() {
    PadTo(4 * depth);
    Write(header);
    blockOpen = true;
  }
  void SetTag(const std::string& name) {
    header = "[        ]\t";
    const std::string tag = name.substr(0, 15);
    for (std::size_t i = 0; i < 8 && i < tag.size(); ++i) header[1 + i] = tag[i];
  }
};

void LogText(std::int32_t level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  IDebugLog::LogAtLevel(level, format, args);
  va_end(args);
}

std::string FileText() {
  std::ifstream in(kLogFile, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void RunLayout(FuzzedDataProvider& fuzz) {
  IDebugLog::ResetForTesting();
  IDebugLog::OpenLogFile(kLogFile);
  LayoutModel model;
  while (fuzz.remaining_bytes() > 0) {
    switch (fuzz.ConsumeIntegralInRange(0, 7)) {
      case 0: {
        const std::string name = UpToZero(fuzz.ConsumeRandomLengthString(24));
        IDebugLog::SetSourceTag(name.c_str());
        model.SetTag(name);
        break;
      }
      case 1:
        IDebugLog::IncreaseIndent();
        ++model.depth;
        break;
      case 2:
        IDebugLog::DecreaseIndent();
        if (model.depth > 0) --model.depth;
        break;
      case 3:
        IDebugLog::BeginBlock();
        model.BeginBlock();
        break;
      case 4:
        IDebugLog::EndBlock();
        model.blockOpen = false;
        break;
      case 5: {
        const std::string message = UpToZero(fuzz.ConsumeRandomLengthString(12000));
        IDebugLog::LogUnconditional("%s", message.c_str());
        model.Line(message);
        break;
      }
      default: {
        static constexpr std::int32_t kLevels[] = {-7, 0, 2, 3, 4, 5, 6, 1000};
        const std::int32_t level = kLevels[fuzz.ConsumeIntegralInRange(0, 7)];
        const std::string message = UpToZero(fuzz.ConsumeRandomLengthString(12000));
        LogText(level, "%s", message.c_str());
        if (level <= IDebugLog::kFileThreshold) model.Line(message);
        break;
      }
    }
    FUZZ_CHECK(IDebugLog::OutputColumnForTesting() == model.column);
  }
  FUZZ_CHECK(FileText() == model.file);
}

// A format of literal text and 64-bit integer directives, at most eight of
// them, each spelled with "I64" or "ll".
struct BuiltFormat {
  std::string format;    // as the log is given it
  std::string standard;  // "I64" spelled "ll"
  bool usesI64 = false;
};

BuiltFormat BuildFormat(FuzzedDataProvider& fuzz) {
  BuiltFormat built;
  int directives = 0;
  while (fuzz.remaining_bytes() > 0 && built.format.size() < 12000) {
    const int kind = fuzz.ConsumeIntegralInRange(0, 9);
    if (kind < 5 || directives == 8) {
      std::string literal = UpToZero(fuzz.ConsumeRandomLengthString(kind == 0 ? 9000 : 16));
      std::string escaped;
      for (const char c : literal) escaped += c == '%' ? std::string("%%") : std::string(1, c);
      built.format += escaped;
      built.standard += escaped;
      continue;
    }
    if (kind == 5) {
      built.format += "%%";
      built.standard += "%%";
      continue;
    }
    std::string head = "%";
    for (const char flag : {'-', '+', ' ', '#', '0'}) {
      if (fuzz.ConsumeBool()) head += flag;
    }
    if (fuzz.ConsumeBool()) head += std::to_string(fuzz.ConsumeIntegralInRange(0, 40));
    if (fuzz.ConsumeBool()) head += "." + std::to_string(fuzz.ConsumeIntegralInRange(0, 40));
    const char conversion = fuzz.PickValueInArray({'d', 'i', 'u', 'x', 'X', 'o'});
    const bool i64 = fuzz.ConsumeBool();
    built.format += head + (i64 ? "I64" : "ll") + conversion;
    built.standard += head + "ll" + conversion;
    built.usesI64 = built.usesI64 || i64;
    ++directives;
  }
  return built;
}

// A rewritten format holds at most 8191 characters, cut before the first
// character or directive that does not fit whole.
std::string CutLikeTheRewrite(const std::string& standard) {
  std::string cut;
  for (std::size_t at = 0; at < standard.size();) {
    std::size_t unit = 1;
    if (standard[at] == '%') {
      unit = standard.find_first_of("%diuxXo", at + 1) - at + 1;
    }
    if (cut.size() + unit > kLogFormatCapacity - 1) break;
    cut += standard.substr(at, unit);
    at += unit;
  }
  return cut;
}

std::size_t FormatThroughTheLog(char* buffer, std::size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::size_t stored = FormatLogMessage(buffer, capacity, format, args);
  va_end(args);
  return stored;
}

void RunFormats(FuzzedDataProvider& fuzz) {
  long long values[8];
  for (long long& value : values) value = fuzz.ConsumeIntegral<long long>();
  const auto capacity = fuzz.ConsumeIntegralInRange<std::size_t>(1, 10000);
  const BuiltFormat built = BuildFormat(fuzz);
  const std::string standard = built.usesI64 ? CutLikeTheRewrite(built.standard) : built.standard;

  const int length = std::snprintf(nullptr, 0, standard.c_str(), values[0], values[1], values[2], values[3],
                                   values[4], values[5], values[6], values[7]);
  FUZZ_CHECK(length >= 0);
  std::string expected(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(expected.data(), expected.size(), standard.c_str(), values[0], values[1], values[2], values[3],
                values[4], values[5], values[6], values[7]);
  expected.resize(std::min(static_cast<std::size_t>(length), capacity - 1));

  const auto buffer = std::make_unique<char[]>(capacity);  // exactly sized: overruns are seen
  const std::size_t stored = FormatThroughTheLog(buffer.get(), capacity, built.format.c_str(), values[0], values[1],
                                                 values[2], values[3], values[4], values[5], values[6], values[7]);
  FUZZ_CHECK(stored == expected.size());
  FUZZ_CHECK(std::memcmp(buffer.get(), expected.data(), stored) == 0 && buffer[stored] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Levels up to 3 are echoed; libFuzzer reports on standard error.
  FUZZ_CHECK(std::freopen("/dev/null", "w", stdout) != nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fuzz(data, size);
  if (fuzz.ConsumeBool()) {
    RunLayout(fuzz);
  } else {
    RunFormats(fuzz);
  }
  return 0;
}
