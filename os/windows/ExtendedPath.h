#pragma once
// The one form of a path that every step of a file operation uses.

#include <string>

namespace os {

// `path` converted as the narrow file functions convert it, made full, and
// given the \\?\ prefix (\\?\UNC\ for a share), so that every call judges a
// path past MAX_PATH alike instead of some failing and others not. Empty when
// the path has no such form: a device path, or a failed conversion.
std::wstring ExtendedLengthPath(const char* path);

}  // namespace os
