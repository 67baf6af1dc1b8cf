/* The game's UI runtime as the plug-in meets it: the UI heap, movies that
 * create function objects, namespace objects that receive members, value
 * release, and the seam the executable exports. Every call the plug-in makes
 * is recorded for the cases to inspect. */
#ifndef E2E_GAME_UI_RUNTIME_H
#define E2E_GAME_UI_RUNTIME_H

#include "GameAbi.h"

#define RUNTIME_MAX_EVENTS 64
#define RUNTIME_MAX_MEMBERS 8
#define RUNTIME_NAME_SIZE 32

/* A function object: what a member of a namespace object holds. */
typedef struct FunctionObject {
  void* handler;
  void* userData;
  GameMovie* movie;
} FunctionObject;

typedef struct Member {
  char name[RUNTIME_NAME_SIZE];
  FunctionObject* function;
} Member;

typedef struct NamespaceObject {
  Member members[RUNTIME_MAX_MEMBERS];
  int memberCount;
} NamespaceObject;

struct GameMovie {
  const CodeSlot* vtable; /* first word, as the plug-in expects */
  bool managedFunctions;  /* function values come back managed */
  NamespaceObject namespaceObject;
  GameValue namespaceValue;
};

struct GameHeap {
  const CodeSlot* vtable;
};

typedef struct HeapAllocation {
  size_t size;
  size_t flags;
  void* block;
} HeapAllocation;

typedef struct CreateFunctionEvent {
  GameMovie* movie;
  void* handler;
  void* userData;
  uint32_t outKindBefore; /* the temporary's kind word as the plug-in prepared it */
} CreateFunctionEvent;

typedef struct ReleaseEvent {
  void* objectInterface;
  GameValue* value;
  void* payload;
} ReleaseEvent;

typedef struct SetMemberEvent {
  void* objectInterface;
  void* object;
  char name[RUNTIME_NAME_SIZE];
  uint32_t kindWord;
  FunctionObject* function;
  bool isDisplayObject;
} SetMemberEvent;

typedef struct RuntimeRecords {
  HeapAllocation allocations[RUNTIME_MAX_EVENTS];
  int allocationCount;
  int freeCount;
  CreateFunctionEvent creates[RUNTIME_MAX_EVENTS];
  int createCount;
  ReleaseEvent releases[RUNTIME_MAX_EVENTS];
  int releaseCount;
  SetMemberEvent setMembers[RUNTIME_MAX_EVENTS];
  int setMemberCount;
  GameValue resultBeforeCall; /* of the last call, byte for byte */
} RuntimeRecords;

/* Process-wide, as the game's runtime is. */
extern RuntimeRecords runtimeRecords;

/* Puts the UI heap's address in the heap word (null: no heap). */
void runtime_install_heap(bool installed);
void* runtime_object_interface(void);

/* A movie whose namespace object carries the given kind word. */
void runtime_init_movie(GameMovie* movie, uint32_t namespaceKindWord, bool managedFunctions);
FunctionObject* runtime_member(GameMovie* movie, const char* name);

/* Values as the runtime makes them. Managed texts live for the process. */
GameValue runtime_undefined(void);
GameValue runtime_boolean(bool flag);
GameValue runtime_number(double number);
GameValue runtime_string(const char* text);
GameValue runtime_managed_string(const char* text);
GameValue runtime_wide_string(const uint16_t* text);
GameValue runtime_managed_wide_string(const uint16_t* text);
GameValue runtime_managed_object(void);

/* Fill byte of a result value before a call: shows what the handler wrote. */
#define RUNTIME_UNTOUCHED 0xAB

/* Calls member `name` as the game does: slot 1 of the handler's table with
 * a function call record. `result` is filled with RUNTIME_UNTOUCHED, then
 * takes `initial` (or undefined, leaving the payload untouched) before the
 * call. False when the member is missing. */
bool runtime_call_member(GameMovie* movie, const char* name, GameValue* args, uint32_t argCount,
                         const GameValue* initial, GameValue* result);

#endif
