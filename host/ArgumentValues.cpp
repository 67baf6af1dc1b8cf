#include "host/ArgumentValues.h"

#include "host/HexBytes.h"
#include "host/Utf8ToUtf16.h"

namespace {

std::u16string LittleEndianUnits(const std::string& bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return units;
}

std::optional<ArgumentValue> Convert(const std::string& argument, bool hex, bool wide, std::string& error) {
  std::string bytes = argument;
  if (hex) {
    std::optional<std::string> parsed = ParseHexBytes(argument);
    if (!parsed) {
      error = "'" + argument + "' is not hexadecimal bytes";
      return std::nullopt;
    }
    bytes = std::move(*parsed);
  }

  ArgumentValue value;
  value.wide = wide;
  if (!wide) {
    if (bytes.find('\0') != std::string::npos) {
      error = "an argument holds a zero byte, where the plug-in's text would end";
      return std::nullopt;
    }
    value.narrow = std::move(bytes);
    return value;
  }
  if (hex) {
    if (bytes.size() % 2 != 0) {
      error = "a wide argument in hexadecimal needs whole UTF-16LE code units (an even byte count)";
      return std::nullopt;
    }
    value.wideText = LittleEndianUnits(bytes);
  } else {
    std::optional<std::u16string> converted = Utf8ToUtf16(bytes);
    if (!converted) {
      error = "the wide argument is not well-formed UTF-8; use --hex --wide to pass any code units";
      return std::nullopt;
    }
    value.wideText = std::move(*converted);
  }
  if (value.wideText.find(u'\0') != std::u16string::npos) {
    error = "the wide argument holds a zero code unit, where the plug-in's text would end";
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<std::vector<ArgumentValue>> ConvertArguments(const HostOptions& options, std::string& error) {
  std::vector<ArgumentValue> values;
  for (std::size_t i = 0; i < options.arguments.size(); ++i) {
    const bool wide = options.wide && i + 1 == options.arguments.size();
    std::optional<ArgumentValue> value = Convert(options.arguments[i], options.hex, wide, error);
    if (!value) return std::nullopt;
    values.push_back(std::move(*value));
  }
  return values;
}
