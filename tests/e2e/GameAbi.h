/* The game's and the script extender's side of the plug-in boundary, x86_64
 * layout, written from docs/abi.md alone. Nothing here may come from the
 * plug-in's own headers: a layout mistake there must not be mirrored here. */
#ifndef E2E_GAME_ABI_H
#define E2E_GAME_ABI_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#define RUNTIME_1_8_151_0 0x08970000u
#define UI_INTERFACE_ID 1u

#define KIND_UNDEFINED 0u
#define KIND_BOOLEAN 2u
#define KIND_NUMBER 3u
#define KIND_STRING 4u
#define KIND_WIDE_STRING 5u
#define KIND_OBJECT 6u
#define KIND_DISPLAY_OBJECT 8u
#define KIND_MASK 0x8Fu
#define KIND_MANAGED 0x40u

/* An MSVC virtual table is an array of code addresses. */
typedef void (*CodeSlot)(void);

typedef struct GameValue {
  void* objectInterface;
  uint32_t kindWord;
  union {
    uint8_t boolean;
    double number;
    const char* text;
    const char* const* managedText;
    const uint16_t* wideText;
    const uint16_t* const* managedWideText;
    void* object;
  } payload;
} GameValue;

typedef struct FunctionCallRecord {
  GameValue* result;
  void* unread[3];
  GameValue* args;
  uint32_t argCount;
} FunctionCallRecord;

typedef struct GameMovie GameMovie;
typedef bool (*UiCallback)(GameMovie* movie, GameValue* namespaceObject);

typedef struct HostInterface {
  uint32_t hostVersion;
  uint32_t runtimeVersion;
  uint32_t editorVersion;
  uint32_t isEditor;
  void* (*QueryInterface)(uint32_t id);
  uint32_t (*GetPluginHandle)(void);
} HostInterface;

typedef struct PluginInfo {
  uint32_t infoVersion;
  const char* name;
  uint32_t version;
} PluginInfo;

typedef struct UiInterface {
  uint32_t interfaceVersion;
  bool (*Register)(const char* name, UiCallback callback);
} UiInterface;

/* The plug-in's exports, cdecl, undecorated. */
typedef bool (*QueryEntry)(const HostInterface* host, PluginInfo* info);
typedef bool (*LoadEntry)(const HostInterface* host);

/* Handler objects: slot 0 the scalar deleting destructor, slot 1 HandleCall. */
typedef struct HandlerObject {
  const CodeSlot* vtable;
  int32_t refCount;
} HandlerObject;
typedef void (*HandleCallSlot)(void* self, FunctionCallRecord* call);
#define HANDLER_SLOT_HANDLE_CALL 1
#define MOVIE_SLOT_CREATE_FUNCTION 15
#define HEAP_SLOT_ALLOCATE 10
#define HEAP_SLOT_FREE 12

/* The seam the host executable exports as QuiverleafUiRuntime. */
typedef struct GameHeap GameHeap;
typedef struct UiRuntimeSeam {
  uint32_t size;
  void (*release)(void* objectInterface, GameValue* value, void* payload);
  bool (*setMember)(void* objectInterface, void* object, const char* name, const GameValue* value,
                    bool isDisplayObject);
  GameHeap* const* heapWord;
} UiRuntimeSeam;

_Static_assert(sizeof(bool) == 1, "bool is one byte on both sides");

_Static_assert(offsetof(HostInterface, runtimeVersion) == 4, "docs/abi.md HostInterface");
_Static_assert(offsetof(HostInterface, isEditor) == 12, "docs/abi.md HostInterface");
_Static_assert(offsetof(HostInterface, QueryInterface) == 16, "docs/abi.md HostInterface");
_Static_assert(offsetof(HostInterface, GetPluginHandle) == 24, "docs/abi.md HostInterface");
_Static_assert(sizeof(HostInterface) == 32, "docs/abi.md HostInterface");

_Static_assert(offsetof(PluginInfo, name) == 8, "docs/abi.md PluginInfo");
_Static_assert(offsetof(PluginInfo, version) == 16, "docs/abi.md PluginInfo");
_Static_assert(sizeof(PluginInfo) == 24, "docs/abi.md PluginInfo");

_Static_assert(offsetof(UiInterface, Register) == 8, "docs/abi.md UiInterface");

_Static_assert(offsetof(GameValue, kindWord) == 8, "docs/abi.md UiValue");
_Static_assert(offsetof(GameValue, payload) == 16, "docs/abi.md UiValue");
_Static_assert(sizeof(GameValue) == 24, "docs/abi.md UiValue");

_Static_assert(offsetof(FunctionCallRecord, args) == 32, "docs/abi.md FunctionCallRecord");
_Static_assert(offsetof(FunctionCallRecord, argCount) == 40, "docs/abi.md FunctionCallRecord");

_Static_assert(sizeof(HandlerObject) == 16, "docs/abi.md handler objects");

_Static_assert(offsetof(UiRuntimeSeam, release) == 8, "docs/abi.md seam");
_Static_assert(offsetof(UiRuntimeSeam, setMember) == 16, "docs/abi.md seam");
_Static_assert(offsetof(UiRuntimeSeam, heapWord) == 24, "docs/abi.md seam");
_Static_assert(sizeof(UiRuntimeSeam) == 32, "docs/abi.md seam");

#endif
