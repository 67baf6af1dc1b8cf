#pragma once
// The command line of quiverleaf-host: options first, then the function
// name, then its arguments taken as they are (even when they start with --).

#include <optional>
#include <string>
#include <vector>

struct HostOptions {
  bool help = false;
  bool wide = false;  // the last argument is a wide string
  bool hex = false;   // arguments and a string result in hexadecimal
  bool log = false;   // print the plug-in's log afterwards
  std::string function;
  std::vector<std::string> arguments;
};

struct ParsedCommandLine {
  std::optional<HostOptions> options;
  std::string error;  // when there are no options
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& words);

// The --help text.
const char* UsageText();
