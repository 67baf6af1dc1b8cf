#include "os/LogFile.h"

#include <share.h>

#include <cstdio>

namespace os {

LogFile LogFile::OpenDenyWrite(const char* name) {
  // Text mode ("t" spelled out, whatever _fmode says) stores each line feed as
  // CR LF; _SH_DENYWR lets others read but not write.
  return LogFile(_fsopen(name, "wt", _SH_DENYWR));
}

void LogFile::Write(const char* text) {
  if (stream_ == nullptr) return;
  std::fputs(text, stream_);
}

}  // namespace os
