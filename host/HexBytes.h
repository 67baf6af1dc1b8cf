#pragma once
// Bytes written as hexadecimal, so ill-formed text can be typed and shown.

#include <optional>
#include <string>
#include <string_view>

// "d09f", "D0 9F" and "d0 9f\n" are the bytes D0 9F; whitespace may stand
// between bytes, not inside one. Nothing on an odd digit count or another
// character.
std::optional<std::string> ParseHexBytes(std::string_view text);

// "D0 9F": upper case, one space between bytes; empty for no bytes.
std::string FormatHexBytes(std::string_view bytes);
