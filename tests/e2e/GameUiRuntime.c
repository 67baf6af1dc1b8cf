#include "GameUiRuntime.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MOVIE_SLOTS 32
#define HEAP_SLOTS 16
#define MAX_FUNCTION_OBJECTS 64
#define MAX_CELLS 64

RuntimeRecords runtimeRecords;

static char objectInterface; /* identity only */
static GameHeap theHeap;
static GameHeap* heapWord;
static FunctionObject functionObjects[MAX_FUNCTION_OBJECTS];
static int functionObjectCount;
static const char* textCells[MAX_CELLS];
static int textCellCount;
static const uint16_t* wideTextCells[MAX_CELLS];
static int wideTextCellCount;
static int managedObjects[MAX_CELLS];
static int managedObjectCount;

/* A slot the plug-in has no business calling. */
static void unexpected_slot(void) {
  fprintf(stderr, "FATAL: the plug-in called a virtual slot the runtime does not offer\n");
  fflush(stderr);
  _Exit(70);
}

static void fatal(const char* what) {
  fprintf(stderr, "FATAL: %s\n", what);
  fflush(stderr);
  _Exit(70);
}

static void* heap_allocate(GameHeap* self, size_t size, size_t flags) {
  if (self != &theHeap) fatal("allocate called on something that is not the UI heap");
  if (runtimeRecords.allocationCount >= RUNTIME_MAX_EVENTS) fatal("too many UI heap allocations");
  void* block = malloc(size);
  HeapAllocation* allocation = &runtimeRecords.allocations[runtimeRecords.allocationCount++];
  allocation->size = size;
  allocation->flags = flags;
  allocation->block = block;
  return block;
}

static void heap_free(GameHeap* self, void* block) {
  if (self != &theHeap) fatal("free called on something that is not the UI heap");
  /* Counted, not freed: a function object may still lead to the block. */
  ++runtimeRecords.freeCount;
  (void)block;
}

static const CodeSlot* heap_table(void) {
  static CodeSlot table[HEAP_SLOTS];
  for (int i = 0; i < HEAP_SLOTS; ++i) table[i] = unexpected_slot;
  table[HEAP_SLOT_ALLOCATE] = (CodeSlot)heap_allocate;
  table[HEAP_SLOT_FREE] = (CodeSlot)heap_free;
  return table;
}

static void movie_create_function(GameMovie* self, GameValue* out, void* handler, void* userData) {
  if (runtimeRecords.createCount >= RUNTIME_MAX_EVENTS) fatal("too many CreateFunction calls");
  if (functionObjectCount >= MAX_FUNCTION_OBJECTS) fatal("too many function objects");
  CreateFunctionEvent* event = &runtimeRecords.creates[runtimeRecords.createCount++];
  event->movie = self;
  event->handler = handler;
  event->userData = userData;
  event->outKindBefore = out->kindWord;

  FunctionObject* function = &functionObjects[functionObjectCount++];
  function->handler = handler;
  function->userData = userData;
  function->movie = self;
  out->objectInterface = &objectInterface;
  out->kindWord = KIND_OBJECT | (self->managedFunctions ? KIND_MANAGED : 0u);
  out->payload.object = function;
}

static const CodeSlot* movie_table(void) {
  static CodeSlot table[MOVIE_SLOTS];
  for (int i = 0; i < MOVIE_SLOTS; ++i) table[i] = unexpected_slot;
  table[MOVIE_SLOT_CREATE_FUNCTION] = (CodeSlot)movie_create_function;
  return table;
}

static void seam_release(void* interface, GameValue* value, void* payload) {
  if (runtimeRecords.releaseCount >= RUNTIME_MAX_EVENTS) fatal("too many releases");
  ReleaseEvent* event = &runtimeRecords.releases[runtimeRecords.releaseCount++];
  event->objectInterface = interface;
  event->value = value;
  event->payload = payload;
}

static bool seam_set_member(void* interface, void* object, const char* name, const GameValue* value,
                            bool isDisplayObject) {
  if (runtimeRecords.setMemberCount >= RUNTIME_MAX_EVENTS) fatal("too many SetMember calls");
  if (strlen(name) >= RUNTIME_NAME_SIZE) fatal("member name too long");
  SetMemberEvent* event = &runtimeRecords.setMembers[runtimeRecords.setMemberCount++];
  event->objectInterface = interface;
  event->object = object;
  strcpy(event->name, name);
  event->kindWord = value->kindWord;
  event->function = (FunctionObject*)value->payload.object;
  event->isDisplayObject = isDisplayObject;

  /* The member keeps its own hold on the function object. */
  NamespaceObject* target = (NamespaceObject*)object;
  for (int i = 0; i < target->memberCount; ++i) {
    if (strcmp(target->members[i].name, name) == 0) {
      target->members[i].function = event->function;
      return true;
    }
  }
  if (target->memberCount >= RUNTIME_MAX_MEMBERS) fatal("too many members");
  Member* member = &target->members[target->memberCount++];
  strcpy(member->name, name);
  member->function = event->function;
  return true;
}

__declspec(dllexport) const UiRuntimeSeam* QuiverleafUiRuntime(void) {
  static const UiRuntimeSeam seam = {sizeof(UiRuntimeSeam), seam_release, seam_set_member, &heapWord};
  return &seam;
}

void runtime_install_heap(bool installed) {
  theHeap.vtable = heap_table();
  heapWord = installed ? &theHeap : NULL;
}

void* runtime_object_interface(void) { return &objectInterface; }

void runtime_init_movie(GameMovie* movie, uint32_t namespaceKindWord, bool managedFunctions) {
  memset(movie, 0, sizeof *movie);
  movie->vtable = movie_table();
  movie->managedFunctions = managedFunctions;
  movie->namespaceValue.objectInterface = &objectInterface;
  movie->namespaceValue.kindWord = namespaceKindWord;
  movie->namespaceValue.payload.object = &movie->namespaceObject;
}

FunctionObject* runtime_member(GameMovie* movie, const char* name) {
  for (int i = 0; i < movie->namespaceObject.memberCount; ++i) {
    if (strcmp(movie->namespaceObject.members[i].name, name) == 0) {
      return movie->namespaceObject.members[i].function;
    }
  }
  return NULL;
}

static GameValue value_of_kind(uint32_t kindWord) {
  GameValue value;
  memset(&value, 0, sizeof value);
  value.kindWord = kindWord;
  return value;
}

GameValue runtime_undefined(void) { return value_of_kind(KIND_UNDEFINED); }

GameValue runtime_boolean(bool flag) {
  GameValue value = value_of_kind(KIND_BOOLEAN);
  value.payload.boolean = flag ? 1 : 0;
  return value;
}

GameValue runtime_number(double number) {
  GameValue value = value_of_kind(KIND_NUMBER);
  value.payload.number = number;
  return value;
}

GameValue runtime_string(const char* text) {
  GameValue value = value_of_kind(KIND_STRING);
  value.payload.text = text;
  return value;
}

GameValue runtime_managed_string(const char* text) {
  if (textCellCount >= MAX_CELLS) fatal("too many managed strings");
  const char** cell = &textCells[textCellCount++];
  *cell = text;
  GameValue value = value_of_kind(KIND_STRING | KIND_MANAGED);
  value.objectInterface = &objectInterface;
  value.payload.managedText = cell;
  return value;
}

GameValue runtime_wide_string(const uint16_t* text) {
  GameValue value = value_of_kind(KIND_WIDE_STRING);
  value.payload.wideText = text;
  return value;
}

GameValue runtime_managed_wide_string(const uint16_t* text) {
  if (wideTextCellCount >= MAX_CELLS) fatal("too many managed wide strings");
  const uint16_t** cell = &wideTextCells[wideTextCellCount++];
  *cell = text;
  GameValue value = value_of_kind(KIND_WIDE_STRING | KIND_MANAGED);
  value.objectInterface = &objectInterface;
  value.payload.managedWideText = cell;
  return value;
}

GameValue runtime_managed_object(void) {
  if (managedObjectCount >= MAX_CELLS) fatal("too many managed objects");
  GameValue value = value_of_kind(KIND_OBJECT | KIND_MANAGED);
  value.objectInterface = &objectInterface;
  value.payload.object = &managedObjects[managedObjectCount++];
  return value;
}

bool runtime_call_member(GameMovie* movie, const char* name, GameValue* args, uint32_t argCount,
                         const GameValue* initial, GameValue* result) {
  FunctionObject* function = runtime_member(movie, name);
  if (!function || !function->handler) return false;

  memset(result, RUNTIME_UNTOUCHED, sizeof *result);
  result->objectInterface = initial ? initial->objectInterface : NULL;
  result->kindWord = initial ? initial->kindWord : KIND_UNDEFINED;
  if (initial) result->payload = initial->payload;
  memcpy(&runtimeRecords.resultBeforeCall, result, sizeof *result);

  /* The fields the plug-in must not read hold a pattern, not pointers. */
  FunctionCallRecord record;
  memset(&record, 0xCD, sizeof record);
  record.result = result;
  record.args = argCount ? args : NULL;
  record.argCount = argCount;

  const HandlerObject* handler = (const HandlerObject*)function->handler;
  const HandleCallSlot handleCall = (HandleCallSlot)handler->vtable[HANDLER_SLOT_HANDLE_CALL];
  handleCall(function->handler, &record);
  return true;
}
