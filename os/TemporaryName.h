#pragma once
// Where a replacement is written before it takes the target's place: one
// fixed name per target, beside it, so a save killed half-way leaves at most
// one stray file, which the next save of that target reuses and removes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace os {

// `target` is a path with either separator. ".<name>.quiverleaf-tmp" beside
// the target; when that would break the limits (a whole path of at most
// `pathLimit` characters, a file name of at most `nameLimit`), a short name
// "~ql" and a hash of the target's name, shortened to fit where need be.
// Empty when not even that fits.
inline std::string TemporaryNameFor(std::string_view target, std::size_t pathLimit,
                                    std::size_t nameLimit) {
  const std::size_t separator = target.find_last_of("\\/");
  const std::string_view directory =
      separator == std::string_view::npos ? std::string_view{} : target.substr(0, separator + 1);
  const std::string_view name = target.substr(directory.size());

  std::string temporary(1, '.');
  temporary.append(name).append(".quiverleaf-tmp");
  const std::size_t room = pathLimit > directory.size() ? pathLimit - directory.size() : 0;
  const std::size_t fits = room < nameLimit ? room : nameLimit;
  if (temporary.size() <= fits) return std::string(directory) + temporary;

  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  static constexpr char kHexDigits[] = "0123456789abcdef";
  temporary = "~ql";
  for (int shift = 28; shift >= 0; shift -= 4) temporary += kHexDigits[(hash >> shift) & 0xF];
  if (temporary.size() > fits) {
    if (fits < 4) return {};
    temporary.resize(fits);
  }
  return std::string(directory) + temporary;
}

}  // namespace os
