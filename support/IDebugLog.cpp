// Temporary stand-in until the full log lands.
#include "support/IDebugLog.h"

#include <cstdio>

IDebugLog::IDebugLog(const char*) {}
IDebugLog::~IDebugLog() {}
void IDebugLog::OpenLogFile(const char*) {}
void IDebugLog::CloseLogFile() {}
void IDebugLog::SetFlushAfterWrite(bool) {}
void IDebugLog::LogAtLevel(std::int32_t level, const char* format, va_list args) {
  if (level > kConsoleThreshold) return;
  std::vprintf(format, args);
  std::printf("\n");
}
#define QL_LEVEL_WRAPPER(name, level)  \
  void name(const char* format, ...) { \
    va_list args;                      \
    va_start(args, format);            \
    IDebugLog::LogAtLevel(level, format, args); \
    va_end(args);                      \
  }
QL_LEVEL_WRAPPER(LogFatal, 0)
QL_LEVEL_WRAPPER(LogProblem, 2)
QL_LEVEL_WRAPPER(LogInfo, 3)
QL_LEVEL_WRAPPER(LogDetail, 5)
