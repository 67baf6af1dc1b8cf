#pragma once
// Script-supplied text as it may appear in a log line: control bytes (below
// 0x20, and 0x7F) shown as \xNN, so a value cannot end the line and forge
// the lines after it. Everything else, backslashes included, is unchanged.

#include <string>
#include <string_view>

std::string ShownInLog(std::string_view text);
