#include "host/os/StandardOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace host_os {

void PrepareStandardOutputForBytes() {}

SilencedStandardOutput::SilencedStandardOutput() {
  std::fflush(stdout);
  const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (nowhere < 0) return;
  saved_ = dup(STDOUT_FILENO);
  if (saved_ >= 0) dup2(nowhere, STDOUT_FILENO);
  close(nowhere);
}

SilencedStandardOutput::~SilencedStandardOutput() {
  std::fflush(stdout);
  if (saved_ < 0) return;
  dup2(saved_, STDOUT_FILENO);
  close(saved_);
}

}  // namespace host_os
