#include "os/windows/DirectOpen.h"
#include "os/windows/LaterKernel32.h"

#include <new>
#include <string_view>

namespace os {

namespace {

// The handle's path with every link resolved; empty when the system gives none.
std::wstring FinalPathOf(HANDLE handle, GetFinalPathNameByHandleWFunction finalPath) {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length = finalPath(handle, path.data(), static_cast<DWORD>(path.size()),
                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length);  // the size asked for, terminator included
  }
  return {};
}

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// File systems that ignore case give back a name in the case it was created with.
bool EqualIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

DirectOpenCheck::DirectOpenCheck(const std::wstring& path) {
  const GetFinalPathNameByHandleWFunction finalPath = FindGetFinalPathNameByHandleW();
  if (finalPath == nullptr) return;
  canTell_ = true;
  const std::size_t separator = path.find_last_of(L'\\');
  if (separator == std::wstring::npos) return;  // expected_ stays empty: nothing matches

  // The folder's own links (a game folder reached through one, say) resolve
  // the same way for both, so only the last step can differ.
  const HANDLE folder = CreateFileW(path.substr(0, separator + 1).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return;
  expected_ = FinalPathOf(folder, finalPath);
  CloseHandle(folder);
  if (expected_.empty()) {
    canTell_ = false;  // a file system without final paths
    return;
  }
  if (expected_.back() != L'\\') expected_ += L'\\';
  expected_.append(path, separator + 1);
  reached_.assign(expected_.size() + 1, L'\0');
}

bool DirectOpenCheck::IsOpenedDirectly(HANDLE file) noexcept {
  if (!canTell_) return true;
  if (expected_.empty()) return false;
  const GetFinalPathNameByHandleWFunction finalPath = FindGetFinalPathNameByHandleW();
  if (finalPath == nullptr) return true;
  // A final path too long for the room is not the expected one.
  const DWORD length = finalPath(file, reached_.data(), static_cast<DWORD>(reached_.size()),
                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0) return true;  // a file system without final paths
  if (length >= reached_.size()) return false;
  return EqualIgnoringAsciiCase(std::wstring_view(reached_.data(), length), expected_);
}

bool IsOpenedDirectly(HANDLE file, const std::wstring& path) noexcept try {
  DirectOpenCheck check(path);
  return check.IsOpenedDirectly(file);
} catch (const std::bad_alloc&) {
  return false;
}

}  // namespace os
