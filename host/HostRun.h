#pragma once
// quiverleaf-host from command line to exit status.

#include <string>
#include <vector>

// `words` are the arguments after the program name, as UTF-8.
int RunHost(const std::vector<std::string>& words);
