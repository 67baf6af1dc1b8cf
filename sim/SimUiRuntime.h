#pragma once
// A simulated UI runtime: the game's side of every call the plug-in makes.
// It serves the host seam (QuiverleafUiRuntime), records releases and member
// settings, and keeps a UI heap that counts its blocks and can refuse them.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "abi/HostRecords.h"
#include "abi/UiRuntime.h"

namespace sim {

struct ReleaseRecord {
  void* objectInterface;
  UiValue* value;
  void* payload;
};

struct SetMemberRecord {
  void* objectInterface;
  void* object;
  std::string name;
  std::uint32_t kindWord;  // of the value set
  void* function;          // the function object carried by the value
  bool isDisplayObject;
};

// An object of the runtime that can hold members (a namespace object).
struct SimObject {
  std::map<std::string, void*> members;  // name -> function object's handler
};

// The UI heap, an object with an MSVC-shaped virtual table (allocate at slot
// 10, free at slot 12).
class SimHeap {
 public:
  struct Allocation {
    std::size_t size;
    std::size_t flags;
  };

  SimHeap();
  ~SimHeap();
  SimHeap(const SimHeap&) = delete;
  SimHeap& operator=(const SimHeap&) = delete;

  UiHeap* Object() { return &object_.heap; }

  // Refuse the next `count` allocations.
  void FailNext(int count) { failuresLeft_ = count; }
  void FailAlways(bool fail) { failAlways_ = fail; }

  const std::vector<Allocation>& Allocations() const { return allocations_; }
  const std::vector<void*>& Frees() const { return frees_; }
  std::size_t LiveBlocks() const { return live_.size(); }

 private:
  friend struct HeapSlots;
  void* Allocate(std::size_t size, std::size_t flags);
  void Free(void* block);

  struct RuntimeView {
    UiHeap heap;  // the runtime's view of this heap
    SimHeap* owner;
  };
  RuntimeView object_;
  std::vector<Allocation> allocations_;
  std::vector<void*> frees_;
  std::vector<void*> live_;
  int failuresLeft_ = 0;
  bool failAlways_ = false;
};

// Process-wide, as the game's runtime is.
class SimUiRuntime {
 public:
  static SimUiRuntime& Get();

  // Puts the heap's address in the heap word; null empties the word.
  void InstallHeap(SimHeap* heap);
  // The object interface every value of this runtime carries.
  void* ObjectInterface();

  const std::vector<ReleaseRecord>& Releases() const { return releases_; }
  const std::vector<SetMemberRecord>& SetMembers() const { return setMembers_; }
  void ClearRecords();

  // Values as the runtime makes them. Managed texts live as long as the
  // runtime object (the process).
  UiValue Undefined();
  UiValue Boolean(bool value);
  UiValue Number(double value);
  UiValue String(const char* text);
  UiValue WideString(const char16_t* text);
  UiValue ManagedString(const std::string& text);
  UiValue ManagedWideString(const std::u16string& text);
  // A managed value whose release is to be recorded (e.g. a result).
  UiValue ManagedObject();

 private:
  friend struct SeamSlots;
  void Release(void* objectInterface, UiValue* value, void* payload);
  bool SetMember(void* objectInterface, void* object, const char* name, const UiValue* value,
                 bool isDisplayObject);

  std::vector<ReleaseRecord> releases_;
  std::vector<SetMemberRecord> setMembers_;
  std::deque<std::string> texts_;
  std::deque<std::u16string> wideTexts_;
  std::deque<const char*> textCells_;
  std::deque<const char16_t*> wideTextCells_;
  std::deque<int> objects_;
};

}  // namespace sim
