#include "sim/SimUiRuntime.h"

#include <algorithm>

#include "abi/UiRuntimeSeam.h"

#if defined(_WIN32)
#define QL_SIM_EXPORT extern "C" __declspec(dllexport)
#else
#define QL_SIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace sim {

namespace {
// Kind word of the function objects and plain objects this runtime makes.
constexpr std::uint32_t kManagedObjectKind = 0x06 | UiValue::kManagedFlag;
constexpr std::uint32_t kNumberKind = 3;

UiHeap* heapWord = nullptr;
char objectInterface;  // identity only
}  // namespace

// The heap's virtual table: slots 10 and 12 live, the rest trap.
struct HeapSlots {
  static void* QL_THISCALL Allocate(UiHeap* self, std::size_t size, std::size_t flags) {
    return reinterpret_cast<SimHeap::RuntimeView*>(self)->owner->Allocate(size, flags);
  }
  static void QL_THISCALL Free(UiHeap* self, void* block) {
    reinterpret_cast<SimHeap::RuntimeView*>(self)->owner->Free(block);
  }
  static void Unused() { std::abort(); }

  static const VirtualSlot* Table() {
    static VirtualSlot table[16];
    std::fill(std::begin(table), std::end(table), &Unused);
    table[UiHeap::kAllocateSlot] = reinterpret_cast<VirtualSlot>(&Allocate);
    table[UiHeap::kFreeSlot] = reinterpret_cast<VirtualSlot>(&Free);
    return table;
  }
};

SimHeap::SimHeap() : object_{{HeapSlots::Table()}, this} {}

// Blocks outlive the heap object: handlers stay with the runtime for the
// whole process, as in the game. The runtime keeps them reachable to the end,
// so leak checkers do not count them.
SimHeap::~SimHeap() {
  if (heapWord == &object_.heap) heapWord = nullptr;
  static auto* const retained = new std::vector<void*>;
  retained->insert(retained->end(), live_.begin(), live_.end());
}

void* SimHeap::Allocate(std::size_t size, std::size_t flags) {
  allocations_.push_back({size, flags});
  if (failAlways_) return nullptr;
  if (failuresLeft_ > 0) {
    --failuresLeft_;
    return nullptr;
  }
  void* block = ::operator new(size);
  live_.push_back(block);
  return block;
}

void SimHeap::Free(void* block) {
  frees_.push_back(block);
  const auto found = std::find(live_.begin(), live_.end(), block);
  if (found == live_.end()) std::abort();  // not a block of this heap
  live_.erase(found);
  ::operator delete(block);
}

struct SeamSlots {
  static void Release(void* objectInterface, UiValue* value, void* payload) {
    SimUiRuntime::Get().Release(objectInterface, value, payload);
  }
  static bool SetMember(void* objectInterface, void* object, const char* name, const UiValue* value,
                        bool isDisplayObject) {
    return SimUiRuntime::Get().SetMember(objectInterface, object, name, value, isDisplayObject);
  }
};

SimUiRuntime& SimUiRuntime::Get() {
  static SimUiRuntime runtime;
  return runtime;
}

void SimUiRuntime::InstallHeap(SimHeap* heap) { heapWord = heap ? heap->Object() : nullptr; }

void* SimUiRuntime::ObjectInterface() { return &objectInterface; }

void SimUiRuntime::ClearRecords() {
  releases_.clear();
  setMembers_.clear();
}

void SimUiRuntime::Release(void* objectInterface_, UiValue* value, void* payload) {
  releases_.push_back({objectInterface_, value, payload});
}

bool SimUiRuntime::SetMember(void* objectInterface_, void* object, const char* name,
                             const UiValue* value, bool isDisplayObject) {
  setMembers_.push_back(
      {objectInterface_, object, name, value->kindWord, value->payload.object, isDisplayObject});
  static_cast<SimObject*>(object)->members[name] = value->payload.object;
  return true;
}

UiValue SimUiRuntime::Undefined() {
  UiValue value{};
  value.kindWord = UiValue::kUndefined;
  return value;
}

UiValue SimUiRuntime::Boolean(bool flag) {
  UiValue value{};
  value.kindWord = UiValue::kBoolean;
  value.payload.boolean = flag ? 1 : 0;
  return value;
}

UiValue SimUiRuntime::Number(double number) {
  UiValue value{};
  value.kindWord = kNumberKind;
  value.payload.number = number;
  return value;
}

UiValue SimUiRuntime::String(const char* text) {
  UiValue value{};
  value.kindWord = UiValue::kString;
  value.payload.string = text;
  return value;
}

UiValue SimUiRuntime::WideString(const char16_t* text) {
  UiValue value{};
  value.kindWord = UiValue::kWideString;
  value.payload.wideString = text;
  return value;
}

UiValue SimUiRuntime::ManagedString(const std::string& text) {
  texts_.push_back(text);
  textCells_.push_back(texts_.back().c_str());
  UiValue value{};
  value.objectInterface = &objectInterface;
  value.kindWord = UiValue::kString | UiValue::kManagedFlag;
  value.payload.managedString = &textCells_.back();
  return value;
}

UiValue SimUiRuntime::ManagedWideString(const std::u16string& text) {
  wideTexts_.push_back(text);
  wideTextCells_.push_back(wideTexts_.back().c_str());
  UiValue value{};
  value.objectInterface = &objectInterface;
  value.kindWord = UiValue::kWideString | UiValue::kManagedFlag;
  value.payload.managedWideString = &wideTextCells_.back();
  return value;
}

UiValue SimUiRuntime::ManagedObject() {
  objects_.push_back(0);
  UiValue value{};
  value.objectInterface = &objectInterface;
  value.kindWord = kManagedObjectKind;
  value.payload.object = &objects_.back();
  return value;
}

}  // namespace sim

// The seam the plug-in looks up in the host executable.
QL_SIM_EXPORT const QuiverleafUiRuntimeSeam* QuiverleafUiRuntime(void) {
  static const QuiverleafUiRuntimeSeam seam{sizeof(QuiverleafUiRuntimeSeam), &sim::SeamSlots::Release,
                                            &sim::SeamSlots::SetMember, &sim::heapWord};
  return &seam;
}
