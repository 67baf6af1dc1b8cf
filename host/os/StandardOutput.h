#pragma once
// Standard output, which the plug-in shares with the host for its echo.

namespace host_os {

// Bytes written to standard output arrive unchanged (no CR added), and a
// console shows them as UTF-8.
void PrepareStandardOutputForBytes();

// While an object lives, whatever is written to standard output (by the
// host or the plug-in) is discarded; the destructor puts it back.
class SilencedStandardOutput {
 public:
  SilencedStandardOutput();
  ~SilencedStandardOutput();
  SilencedStandardOutput(const SilencedStandardOutput&) = delete;
  SilencedStandardOutput& operator=(const SilencedStandardOutput&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace host_os
