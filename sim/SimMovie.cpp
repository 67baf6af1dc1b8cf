#include "sim/SimMovie.h"

#include <algorithm>
#include <cstring>

#include "sim/SimUiRuntime.h"

namespace sim {

namespace {
constexpr std::uint32_t kFunctionKind = 0x06;
}

struct MovieSlots {
  static void QL_THISCALL CreateFunction(UiMovie* self, UiValue* out, void* handler, void* userData) {
    reinterpret_cast<SimMovie::RuntimeView*>(self)->owner->CreateFunction(out, handler, userData);
  }
  static void Unused() { std::abort(); }

  static const VirtualSlot* Table() {
    static VirtualSlot table[32];
    std::fill(std::begin(table), std::end(table), &Unused);
    table[UiMovie::kCreateFunctionSlot] = reinterpret_cast<VirtualSlot>(&CreateFunction);
    return table;
  }
};

std::string CallOutcome::Text() const {
  if ((result.kindWord & UiValue::kKindMask) != UiValue::kString) return "<not a string>";
  const char* text = result.StringText();
  return text ? text : "<null>";
}

SimMovie::SimMovie(std::uint32_t namespaceKindWord) : object_{{MovieSlots::Table()}, this} {
  namespaceObject_.objectInterface = SimUiRuntime::Get().ObjectInterface();
  namespaceObject_.kindWord = namespaceKindWord;
  namespaceObject_.payload.object = &namespaceStorage_;
}

void SimMovie::CreateFunction(UiValue* out, void* handler, void* userData) {
  created_.push_back({handler, userData});
  out->objectInterface = SimUiRuntime::Get().ObjectInterface();
  out->kindWord = kFunctionKind | (managedFunctions_ ? UiValue::kManagedFlag : 0);
  out->payload.object = handler;
}

void* SimMovie::MemberHandler(const std::string& name) const {
  const auto found = namespaceStorage_.members.find(name);
  return found == namespaceStorage_.members.end() ? nullptr : found->second;
}

CallOutcome SimMovie::Call(const std::string& name, std::vector<UiValue> args) {
  return CallHandler(MemberHandler(name), std::move(args), nullptr);
}

CallOutcome SimMovie::Call(const std::string& name, std::vector<UiValue> args,
                           const UiValue& initialResult) {
  return CallHandler(MemberHandler(name), std::move(args), &initialResult);
}

CallOutcome SimMovie::CallHandler(void* handler, std::vector<UiValue> args,
                                  const UiValue* initialResult) {
  if (!handler) std::abort();  // no such member
  UiValue result;
  std::memset(&result, kUntouched, sizeof result);
  result.objectInterface = initialResult ? initialResult->objectInterface : nullptr;
  result.kindWord = initialResult ? initialResult->kindWord : UiValue::kUndefined;
  if (initialResult) result.payload.object = initialResult->payload.object;

  CallHandlerInPlace(handler, args.empty() ? nullptr : args.data(),
                     static_cast<std::uint32_t>(args.size()), result);

  CallOutcome outcome;
  outcome.result = result;
  std::memcpy(outcome.bytes.data(), &result, sizeof result);
  return outcome;
}

void SimMovie::CallHandlerInPlace(void* handler, UiValue* args, std::uint32_t argCount,
                                  UiValue& result) {
  FunctionCallRecord record;
  std::memset(&record, 0xCD, sizeof record);  // the unread words hold junk
  record.result = &result;
  record.args = args;
  record.argCount = argCount;

  using HandleCallFn = void(QL_THISCALL*)(void* self, FunctionCallRecord* call);
  const VirtualSlot* table = *static_cast<const VirtualSlot* const*>(handler);
  reinterpret_cast<HandleCallFn>(table[1])(handler, &record);
}

}  // namespace sim
