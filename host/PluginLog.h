#pragma once
// The plug-in's log file in the current directory, read back for the user.

#include <cstdint>
#include <filesystem>
#include <string>

inline constexpr char kPluginLogName[] = "skse_quiverleaf_extensions.log";

// Its size now: where the lines of what comes next will start.
std::uintmax_t PluginLogSize(const std::filesystem::path& log);

// Prints the log from byte `from` on, on standard error.
void PrintPluginLog(const std::filesystem::path& log, std::uintmax_t from);
