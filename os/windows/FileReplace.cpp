#include "os/FileReplace.h"
#include "os/TemporaryName.h"
#include "os/windows/DirectOpen.h"
#include "os/windows/ExtendedPath.h"
#include "os/windows/LaterKernel32.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace os {

namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr std::size_t kLongestPath = 32767 - 1;  // of a \\?\ path, without its terminator
constexpr std::size_t kLongestName = 255;
constexpr int kCreateAttempts = 8;
// A temporary file is held without sharing: a second saver of the same
// target fails to open it, and nobody can read, link or rename it meanwhile.
constexpr DWORD kShareNothing = 0;

bool IsFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
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

// Deletes the open file when its handle closes; false where the system
// cannot do that through a handle (before Vista) or refuses.
bool DeleteOnClose(HANDLE file) {
  const SetFileInformationByHandleFunction setInformation = FindSetFileInformationByHandle();
  if (setInformation == nullptr) return false;
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return setInformation(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Takes the read-only attribute off a file, which would otherwise refuse to
// be deleted. Through the handle where the system can, so it is the file
// that was checked; before Vista by name.
bool ClearReadOnly(HANDLE file, const std::wstring& name, DWORD attributes) {
  DWORD cleared = attributes & ~FILE_ATTRIBUTE_READONLY;
  if (cleared == 0) cleared = FILE_ATTRIBUTE_NORMAL;  // zero would mean "unchanged"
  if (const SetFileInformationByHandleFunction setInformation = FindSetFileInformationByHandle()) {
    FILE_BASIC_INFO basic{};  // times left at zero stay as they are
    basic.FileAttributes = cleared;
    return setInformation(file, FileBasicInfo, &basic, sizeof basic) != 0;
  }
  return SetFileAttributesW(name.c_str(), cleared) != 0;
}

// What sits at the temporary name is dealt with by name and never written
// through. A link is removed as a link; a stale file, the leftover of a
// crashed save, is removed unless someone holds it (another saver of the same
// target: the save then fails cleanly), a read-only one too; a folder is left
// alone and fails the save. False when the name cannot be cleared.
bool ClearTemporaryName(const std::wstring& temporary) {
  const DWORD attributes = GetFileAttributesW(temporary.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // the next create tells
  if (IsFolder(attributes)) return false;
  // The right to change attributes is asked for only where they need it.
  const DWORD access = DELETE | FILE_READ_ATTRIBUTES |
                       ((attributes & FILE_ATTRIBUTE_READONLY) != 0 ? FILE_WRITE_ATTRIBUTES : 0);
  // A link is opened as itself where the system can; see IsOpenedDirectly
  // for where it cannot.
  const HANDLE found = CreateFileW(temporary.c_str(), access, kShareNothing, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (found == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(found, &info) || IsFolder(info.dwFileAttributes) ||
      !IsOpenedDirectly(found, temporary)) {
    CloseHandle(found);
    return false;
  }
  // Only a plain file of one name: another name would be a file elsewhere.
  constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 && (info.dwFileAttributes & kNotPlain) == 0 &&
      info.nNumberOfLinks == 1 && (access & FILE_WRITE_ATTRIBUTES) != 0) {
    ClearReadOnly(found, temporary, info.dwFileAttributes);
  }
  if (DeleteOnClose(found)) return CloseHandle(found) != 0;
  // Before Vista, by name once closed: such a system has no file links, and
  // RemoveDirectoryW takes a junction away without what it leads to.
  CloseHandle(found);
  const bool linkToFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return (linkToFolder ? RemoveDirectoryW(temporary.c_str()) : DeleteFileW(temporary.c_str())) != 0;
}

// A temporary file this save creates, held until it has taken the target's
// place; INVALID_HANDLE_VALUE when the name cannot be had.
HANDLE CreateFreshTemporary(const std::wstring& temporary) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, kShareNothing, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    if (!ClearTemporaryName(temporary)) break;
  }
  return INVALID_HANDLE_VALUE;
}

// Volume serial number and file index: what tells one file from another.
struct FileIdentity {
  DWORD volume = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// Whether the file just created is a plain disk file of one name at the
// temporary name itself. Wine may follow a symbolic link that another process
// put at the name during the create; writing and moving what it leads to
// would take a file from outside the game's folder.
bool IsPlainFileAtName(HANDLE file, DirectOpenCheck& atName, FileIdentity& identity) {
  constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & kNotPlain) != 0 || info.nNumberOfLinks != 1 || !atName.IsOpenedDirectly(file)) {
    return false;
  }
  identity = IdentityOf(info);
  return true;
}

// Whether the file at `target` reads as exactly `bytes`. Read through a
// small buffer: nothing may allocate while a save is under way.
bool HoldsExactly(const std::wstring& target, std::span<const std::byte> bytes) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const HANDLE placed =
      CreateFileW(target.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (placed == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool same = GetFileSizeEx(placed, &size) && static_cast<unsigned long long>(size.QuadPart) == bytes.size();
  std::byte chunk[4096];
  while (same && !bytes.empty()) {
    const DWORD wanted = bytes.size() < sizeof chunk ? static_cast<DWORD>(bytes.size()) : DWORD{sizeof chunk};
    DWORD read = 0;
    same = ReadFile(placed, chunk, wanted, &read, nullptr) && read == wanted &&
           std::memcmp(chunk, bytes.data(), wanted) == 0;
    bytes = bytes.subspan(wanted);
  }
  CloseHandle(placed);
  return same;
}

// Whether the entry at `target`, a link taken as itself, is the written file.
bool IsSameFileAt(const std::wstring& target, const FileIdentity& written) {
  const HANDLE placed = CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                    nullptr);
  if (placed == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool same = GetFileInformationByHandle(placed, &info) && IdentityOf(info) == written;
  CloseHandle(placed);
  return same;
}

// A request to rename a file over `target`.
std::vector<unsigned char> RenameRequestFor(const std::wstring& target) {
  std::vector<unsigned char> request(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(request.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  target.copy(info->FileName, target.size());
  return request;
}

// The temporary file, complete, takes the target's place. Renamed through the
// open handle, so the file stays ours until it is the target: no other saver
// can slip its text in between. Before Vista it is closed first and renamed
// by name. Wine renames by the name the handle was opened with, so either way
// whatever another process put at that name may be moved instead: the placed
// file is compared with the written one, by the open handle's identity after
// the rename where there is one (the handle also keeps the index from being
// reused), else by the identity taken before. Where a file system's index
// does not survive a rename (FAT derives it from the folder entry's place),
// the placed file must read as the text instead, once the handle is closed.
// The handle is closed either way.
ReplaceOutcome MoveIntoPlace(HANDLE file, const std::wstring& temporary, const std::wstring& target,
                             std::vector<unsigned char>& request, const FileIdentity& written,
                             std::span<const std::byte> bytes) {
  if (const SetFileInformationByHandleFunction setInformation = FindSetFileInformationByHandle()) {
    const bool renamed =
        setInformation(file, FileRenameInfo, request.data(), static_cast<DWORD>(request.size())) != 0;
    if (!renamed) DeleteOnClose(file);
    BY_HANDLE_FILE_INFORMATION moved{};
    const bool same =
        renamed && GetFileInformationByHandle(file, &moved) && IsSameFileAt(target, IdentityOf(moved));
    CloseHandle(file);
    if (!renamed) return ReplaceOutcome::kOpenFailed;
    return same || HoldsExactly(target, bytes) ? ReplaceOutcome::kReplaced : ReplaceOutcome::kOtherFileInPlace;
  }
  CloseHandle(file);
  if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(temporary.c_str());
    return ReplaceOutcome::kOpenFailed;
  }
  return IsSameFileAt(target, written) || HoldsExactly(target, bytes) ? ReplaceOutcome::kReplaced
                                                                       : ReplaceOutcome::kOtherFileInPlace;
}

ReplaceOutcome Discard(HANDLE file, const std::wstring& temporary, ReplaceOutcome outcome) {
  const bool deleted = DeleteOnClose(file);
  CloseHandle(file);
  if (!deleted) DeleteFileW(temporary.c_str());
  return outcome;
}

}  // namespace

ReplaceOutcome ReplaceFileContents(const char* path, std::span<const std::byte> bytes) {
  // One form of the path for every step, so that the attribute check, the
  // temporary file and the rename all judge the same file however long the
  // path is.
  const std::wstring target = ExtendedLengthPath(path);
  if (target.empty()) return ReplaceOutcome::kOpenFailed;

  // A rename would replace a read-only target under Wine.
  const DWORD targetAttributes = GetFileAttributesW(target.c_str());
  const bool targetExists = targetAttributes != INVALID_FILE_ATTRIBUTES;
  if (targetExists && (targetAttributes & FILE_ATTRIBUTE_READONLY) != 0) return ReplaceOutcome::kOpenFailed;

  // Everything that allocates comes before the temporary file exists: a
  // failure after that must not leave it behind.
  const std::wstring temporary = TemporaryNameFor(target, kLongestPath, kLongestName);
  if (temporary.empty()) return ReplaceOutcome::kOpenFailed;
  std::vector<unsigned char> renameRequest = RenameRequestFor(target);
  DirectOpenCheck atTemporaryName(temporary);
  const HANDLE file = CreateFreshTemporary(temporary);
  if (file == INVALID_HANDLE_VALUE) return ReplaceOutcome::kOpenFailed;
  // Not ours to write, move or delete: left as it was.
  FileIdentity written;
  if (!IsPlainFileAtName(file, atTemporaryName, written)) {
    CloseHandle(file);
    return ReplaceOutcome::kOpenFailed;
  }

  if (!WriteAll(file, bytes)) return Discard(file, temporary, ReplaceOutcome::kWriteFailed);
  const ReplaceOutcome moved = MoveIntoPlace(file, temporary, target, renameRequest, written, bytes);
  if (moved != ReplaceOutcome::kReplaced) return moved;

  // What the user set on the old file stays on the new one.
  if (targetExists && (targetAttributes & kKeptAttributes) != 0) {
    const DWORD now = GetFileAttributesW(target.c_str());
    if (now != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(target.c_str(), now | (targetAttributes & kKeptAttributes));
  }
  return ReplaceOutcome::kReplaced;
}

}  // namespace os
