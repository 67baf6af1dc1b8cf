#pragma once
// UTF-8 to UTF-16 for wide-string arguments.

#include <optional>
#include <string>
#include <string_view>

// Nothing when the text is not well-formed UTF-8 (overlong forms, encoded
// surrogates, code points above U+10FFFF, truncated sequences).
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);
