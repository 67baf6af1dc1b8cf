// The game's own code, at the fixed addresses of runtime 1.8.151.0.
// Only the shipped i686 build compiles this file.

#include <cstdint>

#include "abi/UiRuntime.h"

namespace {
constexpr std::uintptr_t kReleaseAddress = 0x00921EA0;
constexpr std::uintptr_t kSetMemberAddress = 0x00920560;
constexpr std::uintptr_t kUiHeapWordAddress = 0x01B4012C;
}  // namespace

UiRuntimeBinding BindUiRuntime() {
  return UiRuntimeBinding{
      reinterpret_cast<UiRuntimeBinding::ReleaseFn>(kReleaseAddress),
      reinterpret_cast<UiRuntimeBinding::SetMemberFn>(kSetMemberAddress),
      reinterpret_cast<UiHeap* const*>(kUiHeapWordAddress),
  };
}
