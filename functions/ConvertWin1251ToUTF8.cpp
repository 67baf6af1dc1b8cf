#include "functions/UiFunctions.h"
#include "plugin/abi/UiRuntime.h"

void SKSEScaleform_ConvertWin1251ToUTF8::HandleCall(FunctionCallRecord& call) {
  UiValue& result = *call.result;
  if (result.IsManaged()) ui_runtime::ReleaseValue(result);
  result.kindWord = UiValue::kUndefined;
}
