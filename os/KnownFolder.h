#pragma once
// Paths of the shell's known folders, by CSIDL number.

#include <cstddef>
#include <cstdint>

namespace os {

// MAX_PATH: the room a known-folder path and anything appended to it must fit.
inline constexpr std::size_t kMaxPath = 260;

// Writes the current path of the folder (no trailing separator) into buffer,
// which holds kMaxPath characters. False when the folder is unknown or has no
// path; the buffer's content is then undefined.
//
// Windows asks the shell (SHGetFolderPathA, SHGFP_TYPE_CURRENT). POSIX has no
// shell folders; a few numbers map below $HOME, written with slashes (the
// path operations accept either separator):
//   5  CSIDL_PERSONAL       $HOME/Documents
//   26 CSIDL_APPDATA        $HOME/.config
//   28 CSIDL_LOCAL_APPDATA  $HOME/.local/share
//   40 CSIDL_PROFILE        $HOME
// Any other number, or an unset or empty $HOME, is a failed lookup.
bool KnownFolderPath(std::int32_t folderId, char* buffer);

}  // namespace os
