#pragma once
// Telling a file opened at its own name from one that a link there leads to.

#include <windows.h>

#include <string>

namespace os {

// Whether `file`, opened by `path` (a full \\?\ path), is the entry at that
// name itself rather than a file that a link there leads to. Wine opens what
// a symbolic link leads to whatever the flags ask, and shows it as a plain
// file; only its final path, against that of the folder, tells. True where
// the system cannot tell: before Vista, which has no file links.
bool IsOpenedDirectly(HANDLE file, const std::wstring& path) noexcept;

// The same judgement in two steps, for a file that must not be left behind
// by a failed allocation: everything that allocates happens at construction,
// before the file is created, and the judgement allocates nothing.
class DirectOpenCheck {
 public:
  explicit DirectOpenCheck(const std::wstring& path);
  bool IsOpenedDirectly(HANDLE file) noexcept;

 private:
  bool canTell_ = false;
  std::wstring expected_;  // the folder's final path and the name
  std::wstring reached_;   // room for a final path as long as expected_
};

}  // namespace os
