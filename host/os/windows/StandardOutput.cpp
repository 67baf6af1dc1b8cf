#include "host/os/StandardOutput.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace host_os {

void PrepareStandardOutputForBytes() {
  _setmode(_fileno(stdout), _O_BINARY);
  if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR) SetConsoleOutputCP(CP_UTF8);
}

// The plug-in prints through the same C runtime (msvcrt.dll) as the host, so
// moving that runtime's descriptor 1 moves its echo too.
SilencedStandardOutput::SilencedStandardOutput() {
  std::fflush(stdout);
  const int nowhere = _open("NUL", _O_WRONLY);
  if (nowhere < 0) return;
  saved_ = _dup(_fileno(stdout));
  if (saved_ >= 0) _dup2(nowhere, _fileno(stdout));
  _close(nowhere);
}

SilencedStandardOutput::~SilencedStandardOutput() {
  std::fflush(stdout);
  if (saved_ < 0) return;
  _dup2(saved_, _fileno(stdout));
  _close(saved_);
}

}  // namespace host_os
