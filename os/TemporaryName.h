#pragma once
// Where a replacement is written before it takes the target's place: one
// fixed name per target, beside it, so a save killed half-way leaves at most
// one stray file, which the next save of that target removes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace os {

namespace detail {

template <typename Char>
std::basic_string<Char> TemporaryNameFor(std::basic_string_view<Char> target, std::size_t pathLimit,
                                         std::size_t nameLimit) {
  std::size_t directoryLength = 0;
  for (std::size_t at = 0; at < target.size(); ++at) {
    if (target[at] == Char('\\') || target[at] == Char('/')) directoryLength = at + 1;
  }
  const std::basic_string_view<Char> directory = target.substr(0, directoryLength);
  const std::basic_string_view<Char> name = target.substr(directoryLength);

  static constexpr char kSuffix[] = ".quiverleaf-tmp";
  std::basic_string<Char> temporary(1, Char('.'));
  temporary.append(name);
  for (const char c : std::string_view(kSuffix)) temporary += static_cast<Char>(c);
  const std::size_t room = pathLimit > directory.size() ? pathLimit - directory.size() : 0;
  const std::size_t fits = room < nameLimit ? room : nameLimit;
  if (temporary.size() <= fits) return std::basic_string<Char>(directory) + temporary;

  std::uint32_t hash = 2166136261u;  // FNV-1a over the name's code units
  for (const Char c : name) {
    hash = (hash ^ static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(c))) * 16777619u;
  }
  static constexpr char kHexDigits[] = "0123456789abcdef";
  temporary.assign({Char('~'), Char('q'), Char('l')});
  for (int shift = 28; shift >= 0; shift -= 4) temporary += static_cast<Char>(kHexDigits[(hash >> shift) & 0xF]);
  if (temporary.size() > fits) {
    if (fits < 4) return {};
    temporary.resize(fits);
  }
  return std::basic_string<Char>(directory) + temporary;
}

}  // namespace detail

// `target` is a path with either separator. ".<name>.quiverleaf-tmp" beside
// the target; when that would break the limits (a whole path of at most
// `pathLimit` code units, a file name of at most `nameLimit`), a short name
// "~ql" and a hash of the target's name, shortened to fit where need be.
// Empty when not even that fits.
inline std::string TemporaryNameFor(std::string_view target, std::size_t pathLimit, std::size_t nameLimit) {
  return detail::TemporaryNameFor(target, pathLimit, nameLimit);
}
inline std::wstring TemporaryNameFor(std::wstring_view target, std::size_t pathLimit, std::size_t nameLimit) {
  return detail::TemporaryNameFor(target, pathLimit, nameLimit);
}

}  // namespace os
