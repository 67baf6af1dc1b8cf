#pragma once
// Plain-text debug log with levels, file and console echo.
// State is class-wide: every IDebugLog object shares it; constructing one
// with a name opens the file, destroying it closes the file.

#include <cstdarg>
#include <cstdint>

class IDebugLog {
 public:
  IDebugLog() = default;
  explicit IDebugLog(const char* fileName);
  ~IDebugLog();
  IDebugLog(const IDebugLog&) = delete;
  IDebugLog& operator=(const IDebugLog&) = delete;

  // Opens fileName, else fileName0 .. fileName4; file output is dropped when
  // none of the six can be opened for writing.
  static void OpenLogFile(const char* fileName);
  // Opens relativePath below a shell folder (CSIDL number), creating the
  // directories on the way.
  static void OpenInKnownFolder(std::int32_t folderId, const char* relativePath);
  static void CloseLogFile();
  // Whether `path` names the file the log has open.
  static bool IsLogFile(const char* path);

  static void LogAtLevel(std::int32_t level, const char* format, va_list args);
  static void LogUnconditional(const char* format, ...);
  static void LogUnconditionalV(const char* format, va_list args);

  static void SetSourceTag(const char* sourceName);
  static void IncreaseIndent();
  static void DecreaseIndent();
  static void BeginBlock();
  static void EndBlock();
  static void SetFlushAfterWrite(bool flush);

  // For tests only: closes the file and returns the class-wide state (tag,
  // depth, block, column, flush setting) to its initial values.
  static void ResetForTesting();
  // For tests only: the column of the write position, as the log counts it.
  static std::int32_t OutputColumnForTesting();

  static constexpr std::int32_t kFileThreshold = 5;
  static constexpr std::int32_t kConsoleThreshold = 3;
};

// Level wrappers. Formats are printf-style and also accept the "I64" size
// prefix for 64-bit integers on every platform.
void LogFatal(const char* format, ...);    // level 0
void LogProblem(const char* format, ...);  // level 2
void LogInfo(const char* format, ...);     // level 3
void LogDetail(const char* format, ...);   // level 5
