// The game's side of the UI runtime, compiled by clang for the MSVC ABI so
// that an independent compiler decides virtual slots, `thiscall` and what
// `delete` passes. Freestanding: no imports, no runtime library.
extern "C" {
#include "../GameSide.h"
}

#define EXPORT extern "C" __declspec(dllexport)

// The plug-in derives its handlers from this: slot 0 the destructor (MSVC's
// scalar deleting destructor), slot 1 the call.
class FunctionHandler {
 public:
  virtual ~FunctionHandler();
  virtual void Call(CallRecord* params) = 0;
  static void operator delete(void*);  // only ever reached inside the plug-in
  int refCount;
};

namespace {

GameRecords records;

void Fail(const char* what) {
  if (records.error[0]) return;
  for (unsigned i = 0; what[i] && i + 1 < sizeof records.error; ++i) records.error[i] = what[i];
}

bool SameText(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

// A call through a slot the plug-in must not use; the stack is then unknown.
[[noreturn]] void WrongSlot(const char* what) {
  Fail(what);
  __builtin_trap();
}

struct FunctionObject {
  FunctionHandler* handler;
  void* userData;
  const void* movie;  // the one it was created on
};

#define UNUSED_SLOT(n) \
  virtual void Slot##n() { WrongSlot("a wrong virtual slot (" #n ")"); }

class UiHeap {
 public:
  UNUSED_SLOT(0) UNUSED_SLOT(1) UNUSED_SLOT(2) UNUSED_SLOT(3) UNUSED_SLOT(4)
  UNUSED_SLOT(5) UNUSED_SLOT(6) UNUSED_SLOT(7) UNUSED_SLOT(8) UNUSED_SLOT(9)
  virtual void* Allocate(unsigned size, unsigned flags);  // slot 10
  UNUSED_SLOT(11)
  virtual void Free(void* block);  // slot 12
};

constinit UiHeap heap;

alignas(16) unsigned char arena[1 << 16];
unsigned arenaUsed;

void* Carve(unsigned size) {
  const unsigned rounded = (size + 15u) & ~15u;
  if (rounded < size || rounded > sizeof arena - arenaUsed) return nullptr;
  void* block = arena + arenaUsed;
  arenaUsed += rounded;
  return block;
}

void* UiHeap::Allocate(unsigned size, unsigned flags) {
  if (this != &heap) Fail("heap allocate: wrong this");
  const unsigned n = records.allocations++;
  if (n < GAME_MAX_BLOCKS) {
    records.allocationSize[n] = size;
    records.allocationFlags[n] = flags;
  }
  if (records.allocations == records.refuseAllocation) return nullptr;
  void* block = Carve(size);
  if (n < GAME_MAX_BLOCKS) records.allocated[n] = block;
  return block;
}

void UiHeap::Free(void* block) {
  if (this != &heap) Fail("heap free: wrong this");
  if (records.frees < GAME_MAX_BLOCKS) records.freed[records.frees] = block;
  ++records.frees;
}

// The object interface whose member functions the game has at fixed addresses.
class ObjectInterface {
 public:
  void Release(Value* value, void* payload);
  bool SetMember(void* object, const char* name, const Value* value, bool isDisplayObject);
};

ObjectInterface objectInterface;

void* NewFunctionObject(FunctionHandler* handler, void* userData, const void* movie) {
  auto* object = static_cast<FunctionObject*>(Carve(sizeof(FunctionObject)));
  if (!object) return nullptr;
  object->handler = handler;
  object->userData = userData;
  object->movie = movie;
  return object;
}

struct Member {
  const char* name;
  FunctionObject* function;
};

class Movie {
 public:
  UNUSED_SLOT(0) UNUSED_SLOT(1) UNUSED_SLOT(2) UNUSED_SLOT(3) UNUSED_SLOT(4)
  UNUSED_SLOT(5) UNUSED_SLOT(6) UNUSED_SLOT(7) UNUSED_SLOT(8) UNUSED_SLOT(9)
  UNUSED_SLOT(10) UNUSED_SLOT(11) UNUSED_SLOT(12) UNUSED_SLOT(13) UNUSED_SLOT(14)
  virtual void CreateFunction(Value* out, void* handler, void* userData);  // slot 15

  Value namespaceValue{};
  bool managedFunctions = false;
  Member members[4]{};
};

constinit Movie movies[4];
unsigned movieCount;

void Movie::CreateFunction(Value* out, void* handler, void* userData) {
  ++records.creates;
  if (this < movies || this >= movies + movieCount) Fail("create function: called on no movie");
  if (out->kindWord != KIND_UNDEFINED) Fail("create function: output not undefined");
  if (userData) Fail("create function: user data not null");
  if (!handler) Fail("create function: null handler");
  out->objectInterface = &objectInterface;
  out->kindWord = managedFunctions ? KIND_OBJECT | KIND_MANAGED : KIND_OBJECT;
  out->payload.pointer = NewFunctionObject(static_cast<FunctionHandler*>(handler), userData, this);
}

void ObjectInterface::Release(Value* value, void* payload) {
  ++records.releases;
  if (this != &objectInterface) Fail("release: wrong this");
  if (!(value->kindWord & KIND_MANAGED)) Fail("release: value not managed");
  if (payload != value->payload.pointer) Fail("release: payload is not the value's");
}

bool ObjectInterface::SetMember(void* object, const char* name, const Value* value, bool isDisplayObject) {
  ++records.setMembers;
  if (this != &objectInterface) Fail("set member: wrong this");
  for (unsigned i = 0; i < movieCount; ++i) {
    Movie& movie = movies[i];
    if (object != movie.namespaceValue.payload.pointer) continue;
    if (isDisplayObject != ((movie.namespaceValue.kindWord & 0x8F) == KIND_DISPLAY_OBJECT)) {
      Fail("set member: wrong display-object flag");
    }
    const auto* function = static_cast<const FunctionObject*>(value->payload.pointer);
    if (value->kindWord != (movie.managedFunctions ? KIND_OBJECT | KIND_MANAGED : KIND_OBJECT) ||
        value->objectInterface != &objectInterface) {
      Fail("set member: the value is not what create function made");
    } else if (!function || function->movie != &movie) {
      Fail("set member: the function was created on another movie");
    }
    for (Member& member : movie.members) {
      if (member.name && !SameText(member.name, name)) continue;
      member.name = SameText(name, "saveFile") ? "saveFile" : SameText(name, "Win1251ToUTF8") ? "Win1251ToUTF8" : "?";
      member.function = static_cast<FunctionObject*>(const_cast<void*>(value->payload.pointer));
      return true;
    }
    Fail("set member: too many members");
    return false;
  }
  Fail("set member: not a namespace object");
  return false;
}

// Code addresses of member functions (one word each under the MSVC ABI).
template <class Pointer>
void* CodeOf(Pointer member) {
  static_assert(sizeof member == sizeof(void*), "");
  void* code;
  __builtin_memcpy(&code, &member, sizeof code);
  return code;
}

}  // namespace

EXPORT GameRecords* game_records(void) { return &records; }
EXPORT void* game_heap(void) { return &heap; }
EXPORT void* game_object_interface(void) { return &objectInterface; }
EXPORT void* game_release_code(void) { return CodeOf(&ObjectInterface::Release); }
EXPORT void* game_set_member_code(void) { return CodeOf(&ObjectInterface::SetMember); }

EXPORT void* game_new_movie(uint32_t namespaceKind, int managedFunctions) {
  if (movieCount == sizeof movies / sizeof movies[0]) return nullptr;
  Movie& movie = movies[movieCount++];
  movie.namespaceValue.objectInterface = &objectInterface;
  movie.namespaceValue.kindWord = namespaceKind;
  movie.namespaceValue.payload.pointer = movie.members;  // any object of the runtime's
  movie.managedFunctions = managedFunctions != 0;
  return &movie;
}

EXPORT Value* game_namespace(void* movie) { return &static_cast<Movie*>(movie)->namespaceValue; }

EXPORT void* game_member(void* movie, const char* name) {
  for (const Member& member : static_cast<Movie*>(movie)->members) {
    if (member.name && SameText(member.name, name)) return member.function->handler;
  }
  return nullptr;
}

EXPORT void game_call_handler(void* handler, CallRecord* params) {
  static_cast<FunctionHandler*>(handler)->Call(params);
}

EXPORT void game_delete_handler(void* handler) { delete static_cast<FunctionHandler*>(handler); }
