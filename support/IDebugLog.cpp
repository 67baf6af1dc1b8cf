#include "support/IDebugLog.h"

#include <cstdio>
#include <cstring>

#include "os/KnownFolder.h"
#include "os/LogFile.h"
#include "support/Assertions.h"
#include "support/IFileStream.h"
#include "support/LogFormat.h"

namespace {

constexpr std::size_t kMessageCapacity = 8192;
constexpr std::size_t kSourceTagCapacity = 16;
constexpr std::size_t kFallbackNameCapacity = 1024;
constexpr int kFallbackCount = 5;
// Room for the name in a fallback name; the digit always follows it.
constexpr int kFallbackStemLength = static_cast<int>(kFallbackNameCapacity) - 2;
constexpr std::size_t kTagNameColumns = 8;
constexpr char kBlankTagHeader[] = "[        ]\t";
static_assert(sizeof kBlankTagHeader <= kSourceTagCapacity);

// Class-wide state of the log. Constant-initialised and trivially
// destructible, so it is usable from any static constructor or destructor.
struct LogState {
  os::LogFile outputFile;
  char sourceTag[kSourceTagCapacity] = {};
  char tagHeader[kSourceTagCapacity] = {};  // empty until a tag is set
  std::uint32_t indentDepth = 0;
  char messageBuffer[kMessageCapacity] = {};
  std::int32_t outputColumn = 0;
  bool blockOpen = false;
  bool flushAfterWrite = true;
};

constinit LogState state;

std::int32_t TabWidthAt(std::int32_t column) { return (~column & 3) + 1; }

std::int32_t IndentColumn() { return static_cast<std::int32_t>(4 * state.indentDepth); }

// Where continuation lines of a block start: under the first line's text.
std::int32_t BlockTextColumn() {
  const auto headerEnd =
      static_cast<std::int32_t>(std::strlen(state.tagHeader)) + IndentColumn();
  return (headerEnd + 3) & ~3;
}

void AdvanceColumnOver(const char* text) {
  for (; *text != '\0'; ++text) {
    state.outputColumn += (*text == '\t') ? TabWidthAt(state.outputColumn) : 1;
  }
}

void WriteText(const char* text) {
  if (state.outputFile.IsOpen()) {
    state.outputFile.Write(text);
    if (state.flushAfterWrite) state.outputFile.Flush();
  }
  AdvanceColumnOver(text);
}

void EndLine() {
  if (state.outputFile.IsOpen()) {
    state.outputFile.Write("\n");
    if (state.flushAfterWrite) state.outputFile.Flush();
  }
  state.outputColumn = 0;
}

// Padding only ever starts at a tab stop (line start or after a header that
// ends with a tab), so tabs then spaces land exactly on the target. Not
// flushed: the text that follows is.
void PadToColumn(std::int32_t target) {
  if (target <= state.outputColumn) return;
  const std::int32_t distance = target - state.outputColumn;
  if (state.outputFile.IsOpen()) {
    for (std::int32_t i = 0; i < distance / 4; ++i) state.outputFile.Write("\t");
    for (std::int32_t i = 0; i < distance % 4; ++i) state.outputFile.Write(" ");
  }
  state.outputColumn = target;
}

void WriteLine(const char* text) {
  if (state.blockOpen) {
    PadToColumn(BlockTextColumn());
  } else {
    PadToColumn(IndentColumn());
    WriteText(state.tagHeader);
  }
  WriteText(text);
  EndLine();
}

void FormatIntoMessageBuffer(const char* format, va_list args) {
  FormatLogMessage(state.messageBuffer, sizeof state.messageBuffer, format, args);
}

}  // namespace

IDebugLog::IDebugLog(const char* fileName) { OpenLogFile(fileName); }

IDebugLog::~IDebugLog() { CloseLogFile(); }

void IDebugLog::OpenLogFile(const char* fileName) {
  os::LogFile file;
  if (fileName != nullptr) {
    file = os::LogFile::OpenDenyWrite(fileName);
    char fallbackName[kFallbackNameCapacity];
    for (int digit = 0; !file.IsOpen() && digit < kFallbackCount; ++digit) {
      std::snprintf(fallbackName, sizeof fallbackName, "%.*s%d", kFallbackStemLength, fileName,
                    digit);
      file = os::LogFile::OpenDenyWrite(fallbackName);
    }
  }
  // An earlier file is deliberately left open: the log is opened once.
  state.outputFile = file;
}

void IDebugLog::OpenInKnownFolder(std::int32_t folderId, const char* relativePath) {
  char path[os::kMaxPath];
  const bool found = os::KnownFolderPath(folderId, path);
  QL_CHECK(found, "SUCCEEDED(SHGetFolderPath(NULL, folderID, NULL, SHGFP_TYPE_CURRENT, path))");

  // The relative path is glued on unchanged: it brings its own separator.
  const std::size_t folderLength = std::strlen(path);
  const std::size_t relativeLength = std::strlen(relativePath);
  if (folderLength + relativeLength >= sizeof path) {
    LogProblem("IDebugLog::OpenInKnownFolder: path too long: %s%s", path, relativePath);
    return;
  }
  std::memcpy(path + folderLength, relativePath, relativeLength + 1);

  IFileStream::CreatePathDirectories(path);
  OpenLogFile(path);
}

void IDebugLog::CloseLogFile() { state.outputFile.Close(); }

bool IDebugLog::IsLogFile(const char* path) { return state.outputFile.IsSameFileAs(path); }

void IDebugLog::LogAtLevel(std::int32_t level, const char* format, va_list args) {
  const bool toFile = level <= kFileThreshold;
  const bool toConsole = level <= kConsoleThreshold;
  if (!toFile && !toConsole) return;
  FormatIntoMessageBuffer(format, args);
  if (toFile) WriteLine(state.messageBuffer);
  if (toConsole) std::printf("%s\n", state.messageBuffer);
}

void IDebugLog::LogUnconditional(const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogUnconditionalV(format, args);
  va_end(args);
}

void IDebugLog::LogUnconditionalV(const char* format, va_list args) {
  FormatIntoMessageBuffer(format, args);
  WriteLine(state.messageBuffer);
}

void IDebugLog::SetSourceTag(const char* sourceName) {
  if (sourceName == nullptr) sourceName = "";
  std::size_t length = 0;
  while (length + 1 < kSourceTagCapacity && sourceName[length] != '\0') ++length;
  std::memcpy(state.sourceTag, sourceName, length);
  state.sourceTag[length] = '\0';

  std::memcpy(state.tagHeader, kBlankTagHeader, sizeof kBlankTagHeader);
  for (std::size_t i = 0; i < kTagNameColumns && state.sourceTag[i] != '\0'; ++i) {
    state.tagHeader[1 + i] = state.sourceTag[i];
  }
}

void IDebugLog::IncreaseIndent() { ++state.indentDepth; }

void IDebugLog::DecreaseIndent() {
  if (state.indentDepth > 0) --state.indentDepth;
}

void IDebugLog::BeginBlock() {
  // The block's first message completes this line: the column already stands
  // where its continuation lines will start.
  PadToColumn(IndentColumn());
  WriteText(state.tagHeader);
  state.blockOpen = true;
}

void IDebugLog::EndBlock() { state.blockOpen = false; }

void IDebugLog::SetFlushAfterWrite(bool flush) { state.flushAfterWrite = flush; }

void IDebugLog::ResetForTesting() {
  state.outputFile.Close();
  state = LogState{};
}

std::int32_t IDebugLog::OutputColumnForTesting() { return state.outputColumn; }

#define QL_LEVEL_WRAPPER(name, level)             \
  void name(const char* format, ...) {            \
    va_list args;                                 \
    va_start(args, format);                       \
    IDebugLog::LogAtLevel(level, format, args);   \
    va_end(args);                                 \
  }
QL_LEVEL_WRAPPER(LogFatal, 0)
QL_LEVEL_WRAPPER(LogProblem, 2)
QL_LEVEL_WRAPPER(LogInfo, 3)
QL_LEVEL_WRAPPER(LogDetail, 5)
#undef QL_LEVEL_WRAPPER
