#include "host/ResultOutput.h"

#include <cstdio>

#include "host/ExitCodes.h"
#include "host/HexBytes.h"

namespace {

constexpr std::uint32_t kUndefined = 0;
constexpr std::uint32_t kBoolean = 2;
constexpr std::uint32_t kString = 4;

}  // namespace

int PrintResult(const CallResult& result, bool hex) {
  switch (result.kindCode) {
    case kString: {
      const std::string text = hex ? FormatHexBytes(result.text) : result.text;
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fputc('\n', stdout);
      return exit_code::kStringOrTrue;
    }
    case kBoolean:
      std::puts(result.boolean ? "true" : "false");
      return result.boolean ? exit_code::kStringOrTrue : exit_code::kFalse;
    case kUndefined:
      std::fputs("undefined\n", stderr);
      return exit_code::kUndefined;
    default:
      std::fprintf(stderr, "a result of kind %u, which the plug-in does not make\n",
                   static_cast<unsigned>(result.kindCode));
      return exit_code::kUndefined;
  }
}
