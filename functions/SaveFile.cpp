#include "functions/UiFunctions.h"
#include "plugin/abi/UiRuntime.h"

void SKSEScaleform_SaveFile::HandleCall(FunctionCallRecord& call) {
  UiValue& result = *call.result;
  if (result.IsManaged()) ui_runtime::ReleaseValue(result);
  result.kindWord = UiValue::kBoolean;
  result.payload.boolean = 0;
}
