#pragma once
// A simulated interface movie: it creates function objects through its
// virtual slot 15, holds a namespace object whose members receive them, and
// calls a member as the game does: slot 1 of the handler's virtual table with
// a function call record.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "abi/HostRecords.h"
#include "abi/UiRuntime.h"
#include "sim/SimUiRuntime.h"

namespace sim {

struct CreatedFunction {
  void* handler;
  void* userData;
};

// What a call left in its result value.
struct CallOutcome {
  UiValue result;
  std::array<unsigned char, sizeof(UiValue)> bytes;  // the result's storage after the call

  bool IsUndefined() const { return result.kindWord == UiValue::kUndefined; }
  bool IsBoolean(bool expected) const {
    return result.kindWord == UiValue::kBoolean && result.payload.boolean == (expected ? 1 : 0);
  }
  // The text of a string result; "<not a string>" otherwise.
  std::string Text() const;
};

class SimMovie {
 public:
  // Pattern written over a result value before a call, to show what the
  // handler touched.
  static constexpr unsigned char kUntouched = 0xAB;

  explicit SimMovie(std::uint32_t namespaceKindWord = UiValue::kDisplayObject | UiValue::kManagedFlag);
  SimMovie(const SimMovie&) = delete;
  SimMovie& operator=(const SimMovie&) = delete;

  UiMovie* Object() { return &object_.movie; }
  UiValue* NamespaceObject() { return &namespaceObject_; }

  // When false, created function values come back without the managed flag.
  void SetManagedFunctions(bool managed) { managedFunctions_ = managed; }

  const std::vector<CreatedFunction>& Created() const { return created_; }
  // The handler behind a member of the namespace object, or null.
  void* MemberHandler(const std::string& name) const;

  // Calls member `name` with the arguments; the result starts undefined (or
  // as `initialResult`) with its untouched bytes set to kUntouched.
  CallOutcome Call(const std::string& name, std::vector<UiValue> args);
  CallOutcome Call(const std::string& name, std::vector<UiValue> args, const UiValue& initialResult);
  // Calls a handler object directly through its table.
  static CallOutcome CallHandler(void* handler, std::vector<UiValue> args, const UiValue* initialResult);
  // The same without any allocation: `result` holds the initial result and
  // receives the call's.
  static void CallHandlerInPlace(void* handler, UiValue* args, std::uint32_t argCount, UiValue& result);

 private:
  friend struct MovieSlots;
  void CreateFunction(UiValue* out, void* handler, void* userData);

  struct RuntimeView {
    UiMovie movie;  // the runtime's view of this movie
    SimMovie* owner;
  };
  RuntimeView object_;
  UiValue namespaceObject_{};
  SimObject namespaceStorage_;
  bool managedFunctions_ = true;
  std::vector<CreatedFunction> created_;
};

}  // namespace sim
