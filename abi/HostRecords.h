#pragma once
// Records shared with the script extender host and the game's UI runtime.
// Words and pointers are 32 bits on the game's platform; docs/abi.md gives
// the natural-alignment layout that the 64-bit test builds use.

#include <cstddef>
#include <cstdint>

struct UiMovie;
struct UiValue;

// Passed to SKSEPlugin_Query and SKSEPlugin_Load.
struct HostInterface {
  static constexpr std::uint32_t kUiInterfaceId = 1;

  std::uint32_t hostVersion;     // not read
  std::uint32_t runtimeVersion;  // 0x08970000 is runtime 1.8.151.0
  std::uint32_t editorVersion;   // not read
  std::uint32_t isEditor;        // non-zero inside the game's editor
  void* (*QueryInterface)(std::uint32_t interfaceId);
  std::uint32_t (*GetPluginHandle)();
};

// Filled by SKSEPlugin_Query.
struct PluginInfo {
  std::uint32_t infoVersion;
  const char* name;  // must live as long as the library
  std::uint32_t version;
};

using UiRegisterCallback = bool (*)(UiMovie* movie, UiValue* namespaceObject);

// The host's UI interface (identifier 1).
struct UiInterface {
  std::uint32_t interfaceVersion;
  bool (*Register)(const char* namespaceName, UiRegisterCallback callback);
};

// The UI runtime's tagged value.
struct UiValue {
  static constexpr std::uint32_t kUndefined = 0;
  static constexpr std::uint32_t kBoolean = 2;
  static constexpr std::uint32_t kString = 4;
  static constexpr std::uint32_t kWideString = 5;
  static constexpr std::uint32_t kDisplayObject = 8;
  static constexpr std::uint32_t kKindMask = 0x8F;
  static constexpr std::uint32_t kManagedFlag = 0x40;

  // Only single members are ever written: the payload's high word (offsets
  // 12 to 15 on the game's platform) belongs to the UI runtime.
  union Payload {
    std::uint8_t boolean;
    const char* string;                       // kString, not managed
    const char* const* managedString;         // kString, managed
    const char16_t* wideString;               // kWideString, not managed
    const char16_t* const* managedWideString; // kWideString, managed
    void* object;                             // kDisplayObject, release argument
    double number;                            // sizes the payload; never used
  };

  void* objectInterface;
  std::uint32_t kindWord;
  Payload payload;

  std::uint32_t KindCode() const { return kindWord & kKindMask; }
  bool IsManaged() const { return (kindWord & kManagedFlag) != 0; }

  // Text of a string value, read through the extra indirection when managed.
  const char* StringText() const {
    if (!IsManaged()) return payload.string;
    return payload.managedString ? *payload.managedString : nullptr;
  }
  const char16_t* WideStringText() const {
    if (!IsManaged()) return payload.wideString;
    return payload.managedWideString ? *payload.managedWideString : nullptr;
  }
};

// What the UI runtime passes to a handler's HandleCall.
struct FunctionCallRecord {
  UiValue* result;
  void* unread[3];  // movie, this value, arguments with this: not used
  UiValue* args;
  std::uint32_t argCount;
};

#if defined(QL_GAME_BUILD)
static_assert(offsetof(HostInterface, runtimeVersion) == 4);
static_assert(offsetof(HostInterface, isEditor) == 12);
static_assert(offsetof(HostInterface, QueryInterface) == 16);
static_assert(offsetof(HostInterface, GetPluginHandle) == 20);
static_assert(sizeof(HostInterface) == 24);

static_assert(offsetof(PluginInfo, infoVersion) == 0);
static_assert(offsetof(PluginInfo, name) == 4);
static_assert(offsetof(PluginInfo, version) == 8);
static_assert(sizeof(PluginInfo) == 12);

static_assert(offsetof(UiInterface, interfaceVersion) == 0);
static_assert(offsetof(UiInterface, Register) == 4);
static_assert(sizeof(UiInterface) == 8);

static_assert(offsetof(UiValue, objectInterface) == 0);
static_assert(offsetof(UiValue, kindWord) == 4);
static_assert(offsetof(UiValue, payload) == 8);
static_assert(sizeof(UiValue) == 16);

static_assert(offsetof(FunctionCallRecord, result) == 0);
static_assert(offsetof(FunctionCallRecord, args) == 16);
static_assert(offsetof(FunctionCallRecord, argCount) == 20);
static_assert(sizeof(bool) == 1);
#endif
