#pragma once
// Windows only: makes this executable's GetProcAddress calls find nothing for
// the named functions, as on a system that lacks them, for as long as the
// object lives. Tests of what the plug-in does on Windows XP use it.

#include <string>
#include <vector>

namespace test_windows {

class HiddenFunctions {
 public:
  explicit HiddenFunctions(std::vector<std::string> names);
  ~HiddenFunctions();
  HiddenFunctions(const HiddenFunctions&) = delete;
  HiddenFunctions& operator=(const HiddenFunctions&) = delete;

  // Whether the executable's import of GetProcAddress was found and replaced.
  bool Installed() const { return installed_; }

 private:
  bool installed_ = false;
};

}  // namespace test_windows
