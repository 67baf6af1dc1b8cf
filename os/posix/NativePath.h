#pragma once
// Paths reach the POSIX file layer in the plug-in's backslash form
// ("\tmp\game\a.txt"); the system wants slashes. Fixed storage: the log
// allocates nothing.

#include <limits.h>

#include <cstring>

namespace os {

class NativePath {
 public:
  explicit NativePath(const char* path) {
    std::size_t i = 0;
    for (; path[i] != '\0' && i + 1 < sizeof buffer_; ++i) buffer_[i] = path[i] == '\\' ? '/' : path[i];
    buffer_[i] = '\0';
    fits_ = path[i] == '\0';
  }
  // Null when the path is longer than the system allows.
  const char* c_str() const { return fits_ ? buffer_ : nullptr; }

 private:
  char buffer_[PATH_MAX];
  bool fits_;
};

}  // namespace os
