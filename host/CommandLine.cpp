#include "host/CommandLine.h"

namespace {

constexpr char kUsage[] = R"(usage: quiverleaf-host [--wide] [--hex] [--log] FUNCTION [ARGUMENT...]
       quiverleaf-host --help

Loads the plug-in quiverleaf_extensions from the file beside this program,
as the game's script extender does, sets up one interface movie and calls
one function that the plug-in put on the movie's "quiverleaf" namespace
object, with each ARGUMENT as a string:

  saveFile NAME TEXT   write TEXT to the file NAME below this program's
                       directory, which stands in for the game's directory
  Win1251ToUTF8 TEXT   repair Russian text whose Windows-1251 bytes were read
                       as Latin-1: 'Ïðèâåò' gives Привет

Options (before FUNCTION):
  --wide   pass the last argument as a wide string (UTF-16), converted from
           the UTF-8 given
  --hex    take each argument as hexadecimal bytes ("d0 9f" or "d09f") and
           print a string result the same way, so that ill-formed text can be
           tried; with --wide the last argument's bytes are UTF-16LE code units
  --log    print the plug-in's whole log, on standard error
  --help   print this text

Output: a string result goes to standard output as its bytes (or in
hexadecimal) and a newline; a boolean as true or false; an undefined result
as "undefined" on standard error. Standard error first shows what the
plug-in logged during the call (with --log: its whole log); its own echo on
standard output is dropped, so standard output carries only the result.

The plug-in writes its log, skse_quiverleaf_extensions.log, into the current
directory. To leave yours alone, the host runs it in a new temporary
directory, which it removes afterwards; --log names that directory.

Exit status:
  0  a string result, or true
  1  false
  2  usage error: unknown option, bad hexadecimal or UTF-8, no such function
  3  undefined result
  4  the plug-in cannot be loaded or refuses the query, or the temporary
     directory cannot be made
)";

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& words) {
  HostOptions options;
  std::size_t i = 0;
  for (; i < words.size() && words[i].starts_with("--"); ++i) {
    const std::string& word = words[i];
    if (word == "--") {
      ++i;
      break;
    }
    if (word == "--help") {
      options.help = true;
      return {options, {}};
    }
    if (word == "--wide") {
      options.wide = true;
    } else if (word == "--hex") {
      options.hex = true;
    } else if (word == "--log") {
      options.log = true;
    } else {
      return {std::nullopt, "unknown option " + word};
    }
  }
  if (i == words.size()) return {std::nullopt, "no FUNCTION given"};
  options.function = words[i];
  options.arguments.assign(words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end());
  if (options.wide && options.arguments.empty()) return {std::nullopt, "--wide needs an argument to widen"};
  return {options, {}};
}

const char* UsageText() { return kUsage; }
