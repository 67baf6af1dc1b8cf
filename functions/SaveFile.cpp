// "saveFile"(name, text): writes an 8-bit or wide text to a file below the
// runtime root and answers true or false.

#include <bit>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "functions/FileNameCheck.h"
#include "functions/LoggedText.h"
#include "functions/RuntimeRoot.h"
#include "functions/UiFunctions.h"
#include "os/FileReplace.h"
#include "abi/UiRuntime.h"
#include "support/IDebugLog.h"

namespace {

static_assert(std::endian::native == std::endian::little,
              "wide texts are written as their code units' bytes, which must be UTF-16LE");

void SetBoolean(UiValue& value, bool flag) {
  value.kindWord = UiValue::kBoolean;
  value.payload.boolean = flag ? 1 : 0;
}

// The text's bytes without its terminator: 8-bit as they are, wide as
// UTF-16LE code units. Empty when the text pointer is null.
std::optional<std::span<const std::byte>> TextBytes(const UiValue& text) {
  if (text.KindCode() == UiValue::kWideString) {
    const char16_t* units = text.WideStringText();
    if (!units) return std::nullopt;
    return std::as_bytes(std::span(units, std::char_traits<char16_t>::length(units)));
  }
  const char* characters = text.StringText();
  if (!characters) return std::nullopt;
  return std::as_bytes(std::span(characters, std::strlen(characters)));
}

}  // namespace

void SKSEScaleform_SaveFile::HandleCall(FunctionCallRecord& call) {
  LogInfo("SaveFile start");

  UiValue& result = *call.result;
  if (result.IsManaged()) ui_runtime::ReleaseValue(result);
  SetBoolean(result, false);

  if (call.argCount != 2) {
    LogInfo("SaveFile: Bad number of arguments: %d, expected 2", static_cast<int>(call.argCount));
    return;
  }
  const UiValue& nameArgument = call.args[0];
  const UiValue& textArgument = call.args[1];
  if (nameArgument.KindCode() != UiValue::kString) {
    LogInfo("SaveFile: First argument is not a string, type: %d", static_cast<int>(nameArgument.kindWord));
    return;
  }
  if (textArgument.KindCode() != UiValue::kString && textArgument.KindCode() != UiValue::kWideString) {
    LogInfo("SaveFile: Second argument is not a string or wide string");
    return;
  }

  const char* name = nameArgument.StringText();
  const std::optional<std::span<const std::byte>> text = TextBytes(textArgument);
  if (!name || !text) {
    LogInfo("SaveFile: Argument string is null");
    return;
  }

  const std::optional<std::string> resolvedName = ResolveNameBelowRoot(name);
  if (!resolvedName) {
    LogInfo("SaveFile: File name not allowed: %s", ShownInLog(name).c_str());
    return;
  }

  std::string path = GetRuntimeRoot();
  if (path.empty()) {
    LogInfo("SaveFile: Could not find runtime path");
    return;
  }
  path += *resolvedName;
  // Replacing the open log would send every later line to an unlinked file.
  if (IDebugLog::IsLogFile(path.c_str())) {
    LogInfo("SaveFile: File name not allowed: %s", ShownInLog(name).c_str());
    return;
  }

  switch (os::ReplaceFileContents(path.c_str(), *text)) {
    case os::ReplaceOutcome::kReplaced:
      break;
    case os::ReplaceOutcome::kOpenFailed:
      LogInfo("SaveFile: Could not open file for writting, path: %s", ShownInLog(path).c_str());
      return;
    case os::ReplaceOutcome::kWriteFailed:
      LogInfo("SaveFile: Could not write file, path: %s", ShownInLog(path).c_str());
      return;
    case os::ReplaceOutcome::kOtherFileInPlace:
      LogInfo("SaveFile: Another file took the place of the written one, path: %s", ShownInLog(path).c_str());
      return;
  }

  SetBoolean(result, true);
  LogInfo("SaveFile done");
}
