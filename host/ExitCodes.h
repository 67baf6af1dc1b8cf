#pragma once
// Exit statuses of quiverleaf-host, for scripts; --help lists them.

namespace exit_code {

inline constexpr int kStringOrTrue = 0;
inline constexpr int kFalse = 1;
inline constexpr int kUsage = 2;
inline constexpr int kUndefined = 3;
inline constexpr int kPluginUnavailable = 4;

}  // namespace exit_code
