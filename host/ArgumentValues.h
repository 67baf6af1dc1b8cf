#pragma once
// The command-line arguments as the texts the plug-in will receive.

#include <optional>
#include <string>
#include <vector>

#include "host/CommandLine.h"

struct ArgumentValue {
  bool wide = false;
  std::string narrow;     // when not wide: the bytes, no terminator
  std::u16string wideText;  // when wide: the code units, no terminator
};

// Nothing, and the reason in `error`, when an argument cannot be converted
// or holds a zero byte or unit (the plug-in reads texts up to the first one).
std::optional<std::vector<ArgumentValue>> ConvertArguments(const HostOptions& options, std::string& error);
