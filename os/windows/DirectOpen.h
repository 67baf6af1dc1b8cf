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

}  // namespace os
