#include "os/FileReplace.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace os {

namespace {

constexpr int kNameAttempts = 16;

// A short name, so that a target that fits the path limit leaves room for it.
std::string TemporaryNameBeside(std::string_view target, int attempt) {
  const std::size_t separator = target.find_last_of("\\/");
  const std::string_view directory =
      separator == std::string_view::npos ? std::string_view{} : target.substr(0, separator + 1);
  return std::string(directory) + "~ql" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(attempt) + ".tmp";
}

bool IsReadOnlyFile(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool WriteAll(HANDLE file, std::span<const std::byte> bytes) {
  constexpr std::size_t kChunk = 1u << 20;
  while (!bytes.empty()) {
    const std::size_t chunk = bytes.size() < kChunk ? bytes.size() : kChunk;
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(chunk), &written, nullptr) || written == 0) {
      return false;
    }
    bytes = bytes.subspan(written);
  }
  return true;
}

}  // namespace

ReplaceOutcome ReplaceFileContents(const char* path, std::span<const std::byte> bytes) {
  // MoveFileExA would replace a read-only target under Wine.
  if (IsReadOnlyFile(path)) return ReplaceOutcome::kOpenFailed;

  std::string temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 1; attempt <= kNameAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = TemporaryNameBeside(path, attempt);
    file = CreateFileA(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) return ReplaceOutcome::kOpenFailed;

  const bool written = WriteAll(file, bytes);
  const bool closed = CloseHandle(file) != 0;
  if (!written || !closed) {
    DeleteFileA(temporary.c_str());
    return ReplaceOutcome::kWriteFailed;
  }
  if (!MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(temporary.c_str());
    return ReplaceOutcome::kOpenFailed;
  }
  return ReplaceOutcome::kReplaced;
}

}  // namespace os
