#pragma once
// Handler objects handed to the UI runtime.
//
// The game reaches a handler through an MSVC virtual table: slot 0 the scalar
// deleting destructor, slot 1 HandleCall, both thiscall. GCC would lay out a
// C++ virtual destructor in two slots, so these classes carry no C++ virtuals;
// each handler class gets an explicit table built by MsvcHandlerVtable.

#include <cstdint>
#include <new>

#include "abi/CallingConvention.h"
#include "abi/HostRecords.h"

class GFxFunctionHandler;

struct FunctionHandlerVtable {
  void*(QL_THISCALL* scalarDeletingDestructor)(GFxFunctionHandler* self, unsigned flags);
  void(QL_THISCALL* handleCall)(GFxFunctionHandler* self, FunctionCallRecord* call);
};

// Reference-counted object on the UI heap. The library sets the count to 1 at
// construction and never changes it; the rest of the counting is the runtime's.
class GRefCountImplCore {
 public:
  // UI heap; a null result skips construction.
  static void* operator new(std::size_t size) noexcept;
  static void operator delete(void* block) noexcept;

  const FunctionHandlerVtable* Vtable() const { return vtable_; }
  std::int32_t RefCount() const { return refCount_; }

 protected:
  explicit GRefCountImplCore(const FunctionHandlerVtable* vtable) : vtable_(vtable) {}
  ~GRefCountImplCore() = default;

 private:
  const FunctionHandlerVtable* vtable_;
  volatile std::int32_t refCount_ = 1;
};

class GRefCountImpl : public GRefCountImplCore {
 protected:
  using GRefCountImplCore::GRefCountImplCore;
};

class GRefCountBaseStatImpl : public GRefCountImpl {
 protected:
  using GRefCountImpl::GRefCountImpl;
};

class GRefCountBase : public GRefCountBaseStatImpl {
 protected:
  using GRefCountBaseStatImpl::GRefCountBaseStatImpl;
};

class GFxFunctionHandler : public GRefCountBase {
 public:
  // Live handler objects in the process; nothing reads it but tests.
  static std::int32_t LiveCount() { return liveCount_; }

 protected:
  explicit GFxFunctionHandler(const FunctionHandlerVtable* vtable) : GRefCountBase(vtable) {
    ++liveCount_;
  }
  ~GFxFunctionHandler() { --liveCount_; }

 private:
  static inline std::int32_t liveCount_ = 0;
};

// The MSVC-shaped table of one handler class. Handler provides
// `void HandleCall(FunctionCallRecord&)`; no exception leaves into the game.
template <class Handler>
struct MsvcHandlerVtable {
  static void* QL_THISCALL ScalarDeletingDestructor(GFxFunctionHandler* self, unsigned flags) {
    auto* handler = static_cast<Handler*>(self);
    handler->~Handler();
    if (flags & 1u) GRefCountImplCore::operator delete(handler);
    return handler;
  }

  static void QL_THISCALL HandleCall(GFxFunctionHandler* self, FunctionCallRecord* call) {
    try {
      static_cast<Handler*>(self)->HandleCall(*call);
    } catch (...) {
      // The call ends with its result as the handler last left it.
    }
  }

  static constexpr FunctionHandlerVtable table{&ScalarDeletingDestructor, &HandleCall};
};

static_assert(sizeof(GFxFunctionHandler) == 2 * sizeof(void*));
#if defined(QL_GAME_BUILD)
static_assert(sizeof(GFxFunctionHandler) == 8);
static_assert(sizeof(FunctionHandlerVtable) == 8);
#endif
