#include "abi/FunctionHandler.h"

#include "abi/UiRuntime.h"

void* GRefCountImplCore::operator new(std::size_t size) noexcept {
  return ui_runtime::HeapAllocate(size);
}

void GRefCountImplCore::operator delete(void* block) noexcept { ui_runtime::HeapFree(block); }
