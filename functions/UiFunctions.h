#pragma once
// The UI functions that every movie receives.

#include "abi/FunctionHandler.h"

// "saveFile"(name, text): writes the text to a file below the runtime root.
class SKSEScaleform_SaveFile : public GFxFunctionHandler {
 public:
  SKSEScaleform_SaveFile() : GFxFunctionHandler(&MsvcHandlerVtable<SKSEScaleform_SaveFile>::table) {}
  void HandleCall(FunctionCallRecord& call);
};

// "Win1251ToUTF8"(text): repairs Windows-1251 text that was read as Latin-1.
class SKSEScaleform_ConvertWin1251ToUTF8 : public GFxFunctionHandler {
 public:
  SKSEScaleform_ConvertWin1251ToUTF8()
      : GFxFunctionHandler(&MsvcHandlerVtable<SKSEScaleform_ConvertWin1251ToUTF8>::table) {}
  void HandleCall(FunctionCallRecord& call);
};
