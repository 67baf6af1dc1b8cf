#include <cstring>

#include "functions/ResultBuffer.h"
#include "functions/UiFunctions.h"
#include "functions/Win1251Repair.h"
#include "abi/UiRuntime.h"

namespace {

// Holds the last result; the UI runtime has taken it before the next call.
ResultBuffer repairedText;

// The largest held block that the one-pass repair fills: a text of up to
// about 250 bytes, where a pass saved outweighs the checks it adds per block.
constexpr std::size_t kOnePassCapacity = 512;

// The text of the call's only argument when it is a non-empty narrow string.
const char* InputText(const FunctionCallRecord& call) {
  if (call.argCount != 1 || !call.args) return nullptr;
  const UiValue& argument = call.args[0];
  if (argument.KindCode() != UiValue::kString) return nullptr;
  const char* text = argument.StringText();
  if (!text || text[0] == '\0') return nullptr;
  return text;
}

// Repairs into a new block of `size` bytes, which then replaces the held one.
const char* RepairIntoNewBlock(const char* text, TextExtent extent, std::size_t size) {
  ResultBuffer fresh;
  if (!fresh.Reserve(size)) return nullptr;
  RepairWin1251(text, extent, fresh.Data());
  repairedText.Swap(fresh);  // the old block goes with `fresh`
  return repairedText.Data();
}

// Scripts may pass the previous result straight back in. Its text then lies
// in the block being written, so it is first moved past the output's reach,
// or, when the block is too small for that (or far too large to keep), read
// from the old block while the output goes to a new one.
const char* RepairPreviousResult(const char* text, TextExtent extent) {
  const std::size_t length = extent.length;
  const std::size_t outputSize = RepairBufferSize(length);
  const std::size_t stagedSize = outputSize + length + 1;
  const bool fitsStaged = repairedText.Capacity() >= stagedSize;
  if (!fitsStaged || repairedText.IsOversizedFor(stagedSize)) {
    if (const char* repaired = RepairIntoNewBlock(text, extent, stagedSize)) return repaired;
    if (!fitsStaged) return nullptr;
  }
  char* staged = repairedText.Data() + outputSize;
  std::memmove(staged, text, length + 1);
  RepairWin1251(staged, extent, repairedText.Data());
  return repairedText.Data();
}

// The repaired text, or null when there is no memory for it.
const char* Repair(const char* text) {
  // Where one pass can measure and repair, a short text saves a pass over
  // it: the held block, while small, serves any text that fits it. (A long
  // text costs less measured first, as below.) One unsigned comparison: a
  // capacity below the minimum wraps above the range.
  const std::size_t capacity = repairedText.Capacity();
  if (!repairedText.Contains(text) && capacity - kOnePassMinCapacity <= kOnePassCapacity - kOnePassMinCapacity) {
    if (RepairInOnePass(text, repairedText.Data(), capacity) != win1251::kNotRepaired) {
      return repairedText.Data();
    }
  }
  const TextExtent extent = MeasureText(text);
  if (extent.length > kMaxRepairLength / 2) return nullptr;  // leaves room for staging
  if (repairedText.Contains(text)) return RepairPreviousResult(text, extent);
  const std::size_t outputSize = RepairBufferSize(extent.length);
  // After a long text, a short one gets a block of its own size; when there
  // is no memory for that, the large block serves.
  if (repairedText.IsOversizedFor(outputSize)) {
    if (const char* repaired = RepairIntoNewBlock(text, extent, outputSize)) return repaired;
  }
  char* out = repairedText.Reserve(outputSize);
  if (!out) return nullptr;
  RepairWin1251(text, extent, out);
  return out;
}

}  // namespace

void SKSEScaleform_ConvertWin1251ToUTF8::HandleCall(FunctionCallRecord& call) {
  UiValue& result = *call.result;
  if (result.IsManaged()) ui_runtime::ReleaseValue(result);
  result.kindWord = UiValue::kUndefined;

  const char* text = InputText(call);
  if (!text) return;
  const char* repaired = Repair(text);
  if (!repaired) return;
  result.kindWord = UiValue::kString;
  result.payload.string = repaired;
}
