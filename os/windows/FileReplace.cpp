#include "os/FileReplace.h"
#include "os/TemporaryName.h"

#include <windows.h>

#include <string>
#include <vector>

namespace os {

namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

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

std::wstring FullWidePath(const char* path) {
  const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
  const DWORD fullLength = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (fullLength == 0) return {};
  std::wstring full(fullLength, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), fullLength, full.data(), nullptr);
  if (written == 0 || written >= fullLength) return {};
  full.resize(written);
  return full;
}

// A request to rename a file over `target`; empty when the path is unusable.
std::vector<unsigned char> RenameRequestFor(const char* target) {
  const std::wstring destination = FullWidePath(target);
  if (destination.empty()) return {};
  std::vector<unsigned char> request(sizeof(FILE_RENAME_INFO) + destination.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(request.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(destination.size() * sizeof(wchar_t));
  destination.copy(info->FileName, destination.size());
  return request;
}

// Renamed through the open handle, so the file stays ours until it is the
// target: no other saver can slip its text in between.
bool RenameOver(HANDLE file, std::vector<unsigned char>& request) {
  return SetFileInformationByHandle(file, FileRenameInfo, request.data(),
                                    static_cast<DWORD>(request.size())) != 0;
}

ReplaceOutcome Discard(HANDLE file, ReplaceOutcome outcome) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
  CloseHandle(file);
  return outcome;
}

}  // namespace

ReplaceOutcome ReplaceFileContents(const char* path, std::span<const std::byte> bytes) {
  // A rename would replace a read-only target under Wine.
  const DWORD targetAttributes = GetFileAttributesA(path);
  const bool targetExists = targetAttributes != INVALID_FILE_ATTRIBUTES;
  if (targetExists && (targetAttributes & FILE_ATTRIBUTE_READONLY) != 0) return ReplaceOutcome::kOpenFailed;

  // Everything that allocates comes before the temporary file exists: a
  // failure after that must not leave it behind.
  const std::string temporary = TemporaryNameFor(path, MAX_PATH - 1, 255);
  if (temporary.empty()) return ReplaceOutcome::kOpenFailed;
  std::vector<unsigned char> renameRequest = RenameRequestFor(path);
  if (renameRequest.empty()) return ReplaceOutcome::kOpenFailed;
  // Without sharing: a second saver of the same target fails here. OPEN_ALWAYS
  // and then cutting to zero also reuses a stale hidden or system file, where
  // CREATE_ALWAYS with normal attributes would fail on Windows.
  const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ReplaceOutcome::kOpenFailed;
  if (!SetEndOfFile(file)) return Discard(file, ReplaceOutcome::kOpenFailed);

  if (!WriteAll(file, bytes)) return Discard(file, ReplaceOutcome::kWriteFailed);
  if (!RenameOver(file, renameRequest)) return Discard(file, ReplaceOutcome::kOpenFailed);
  CloseHandle(file);

  // What the user set on the old file stays on the new one.
  if (targetExists && (targetAttributes & kKeptAttributes) != 0) {
    const DWORD now = GetFileAttributesA(path);
    if (now != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path, now | (targetAttributes & kKeptAttributes));
  }
  return ReplaceOutcome::kReplaced;
}

}  // namespace os
