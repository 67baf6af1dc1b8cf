#include "abi/UiRuntime.h"

namespace {

using CreateFunctionFn = void(QL_THISCALL*)(UiMovie* self, UiValue* out,
                                            GFxFunctionHandler* handler, void* userData);
using AllocateFn = void*(QL_THISCALL*)(UiHeap* self, std::size_t size, std::size_t flags);
using FreeFn = void(QL_THISCALL*)(UiHeap* self, void* block);

// Read on every use: nothing promises the heap exists when plug-ins load.
UiHeap* CurrentHeap() {
  const UiRuntimeBinding binding = BindUiRuntime();
  return binding.heapWord ? *binding.heapWord : nullptr;
}

}  // namespace

namespace ui_runtime {

void ReleaseValue(UiValue& value) {
  const UiRuntimeBinding binding = BindUiRuntime();
  if (binding.release) binding.release(value.objectInterface, &value, value.payload.object);
  value.objectInterface = nullptr;
  value.kindWord = UiValue::kUndefined;
}

void SetMember(UiValue& target, const char* name, const UiValue& value, bool isDisplayObject) {
  const UiRuntimeBinding binding = BindUiRuntime();
  if (binding.setMember) {
    binding.setMember(target.objectInterface, target.payload.object, name, &value, isDisplayObject);
  }
}

void CreateFunction(UiMovie& movie, UiValue& out, GFxFunctionHandler* handler) {
  const auto create = reinterpret_cast<CreateFunctionFn>(movie.vtable[UiMovie::kCreateFunctionSlot]);
  create(&movie, &out, handler, nullptr);
}

void* HeapAllocate(std::size_t size) {
  UiHeap* heap = CurrentHeap();
  if (!heap) return nullptr;
  const auto allocate = reinterpret_cast<AllocateFn>(heap->vtable[UiHeap::kAllocateSlot]);
  return allocate(heap, size, 0);
}

void HeapFree(void* block) {
  UiHeap* heap = CurrentHeap();
  if (!heap || !block) return;
  const auto release = reinterpret_cast<FreeFn>(heap->vtable[UiHeap::kFreeSlot]);
  release(heap, block);
}

}  // namespace ui_runtime
