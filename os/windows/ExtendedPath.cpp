#include "os/windows/ExtendedPath.h"

#include <windows.h>

#include <string_view>

namespace os {

std::wstring ExtendedLengthPath(const char* path) {
  const UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  const int length = MultiByteToWideChar(codePage, 0, path, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  if (MultiByteToWideChar(codePage, 0, path, -1, wide.data(), length) != length) return {};

  const DWORD fullLength = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (fullLength == 0) return {};
  std::wstring full(fullLength, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), fullLength, full.data(), nullptr);
  if (written == 0 || written >= fullLength) return {};
  full.resize(written);

  const std::wstring_view view(full);
  if (view.starts_with(L"\\\\?\\")) return full;
  if (view.starts_with(L"\\\\.\\")) return {};
  if (view.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace os
