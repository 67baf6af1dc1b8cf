/* What the test host and the clang-built game side (game.dll) exchange. Plain
 * C, i686 layout; written from docs/abi.md, independent of the plug-in. */
#ifndef I686_GAME_SIDE_H
#define I686_GAME_SIDE_H

#include <stdint.h>

enum {
  KIND_UNDEFINED = 0,
  KIND_BOOLEAN = 2,
  KIND_STRING = 4,
  KIND_WIDE_STRING = 5,
  KIND_OBJECT = 6,
  KIND_DISPLAY_OBJECT = 8,
  KIND_MANAGED = 0x40
};

typedef struct Value {
  void* objectInterface;
  uint32_t kindWord;
  union {
    uint8_t boolean;
    const void* pointer; /* text, wide text, object, or (managed) a pointer to the text */
    double number;
  } payload;
} Value;

typedef struct CallRecord {
  Value* result;
  void* movie;
  Value* thisValue;
  Value* argsWithThis;
  Value* args;
  uint32_t argCount;
} CallRecord;

#define GAME_MAX_BLOCKS 8

/* What the game side saw; `error` holds the first thing it found wrong. */
typedef struct GameRecords {
  uint32_t allocations;
  uint32_t refuseAllocation; /* 1-based number of the allocation to refuse; 0 none */
  uint32_t allocationSize[GAME_MAX_BLOCKS];
  uint32_t allocationFlags[GAME_MAX_BLOCKS];
  void* allocated[GAME_MAX_BLOCKS];
  uint32_t frees;
  void* freed[GAME_MAX_BLOCKS];
  uint32_t creates;
  uint32_t setMembers;
  uint32_t releases;
  char error[160];
} GameRecords;

/* Exports of game.dll (cdecl). A movie's namespace holds the members that
 * set-member put there. */
#define GAME_EXPORTS(X)                                                          \
  X(GameRecords*, game_records, (void))                                          \
  X(void*, game_heap, (void))                                                    \
  X(void*, game_object_interface, (void))                                        \
  X(void*, game_release_code, (void))                                            \
  X(void*, game_set_member_code, (void))                                         \
  X(void*, game_new_movie, (uint32_t namespaceKind, int managedFunctions))       \
  X(Value*, game_namespace, (void* movie))                                       \
  X(void*, game_member, (void* movie, const char* name))                         \
  X(void, game_call_handler, (void* handler, CallRecord* params))                \
  X(void, game_delete_handler, (void* handler))

#endif
