#pragma once
// The UI runtime operations the plug-in calls: value release, member setting,
// function object creation on a movie, and the UI heap.

#include <cstddef>

#include "abi/CallingConvention.h"
#include "abi/HostRecords.h"

class GFxFunctionHandler;

// An MSVC virtual table: an array of code addresses.
using VirtualSlot = void (*)();

struct UiMovie {
  static constexpr std::size_t kCreateFunctionSlot = 15;
  const VirtualSlot* vtable;
};

struct UiHeap {
  static constexpr std::size_t kAllocateSlot = 10;
  static constexpr std::size_t kFreeSlot = 12;
  const VirtualSlot* vtable;
};

// Code of the game that the plug-in calls, found per build (fixed addresses
// in the game, the host's seam elsewhere).
struct UiRuntimeBinding {
  using ReleaseFn = void(QL_THISCALL*)(void* objectInterface, UiValue* value, void* payload);
  using SetMemberFn = bool(QL_THISCALL*)(void* objectInterface, void* object, const char* name,
                                         const UiValue* value, bool isDisplayObject);
  ReleaseFn release;
  SetMemberFn setMember;
  UiHeap* const* heapWord;  // where the UI heap's address is kept
};

// Null members when the host offers no UI runtime.
UiRuntimeBinding BindUiRuntime();

namespace ui_runtime {

// The runtime drops its hold; the value is then undefined.
void ReleaseValue(UiValue& value);
// Sets `name` on the object held by `target`; the member keeps its own hold.
void SetMember(UiValue& target, const char* name, const UiValue& value, bool isDisplayObject);
// Fills `out` with a function object whose calls reach `handler`.
void CreateFunction(UiMovie& movie, UiValue& out, GFxFunctionHandler* handler);
// UI heap; null when the heap gives no block or does not exist yet.
void* HeapAllocate(std::size_t size);
void HeapFree(void* block);

}  // namespace ui_runtime
