/* host.exe CASE DLL [FOREIGN_DLL]: runs one case in this process and prints
 * "ok: CASE" or "FAIL: CASE: why" on standard error (host.exe --list: the
 * case names). Standard output, which the plug-in echoes its log to, goes
 * to console.txt. */
#include "Host.h"

#include <signal.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define X(ret, name, params) ret(*name) params;
GAME_EXPORTS(X)
#undef X

/* The game's fixed addresses (runtime 1.8.151.0). */
#define RELEASE_CODE 0x00921EA0u
#define SET_MEMBER_CODE 0x00920560u
#define HEAP_WORD 0x01B4012Cu

/* With the image based at 0x00400000, this zeroed block spans the addresses
 * above; main checks that the linker kept and placed it so. */
static unsigned char gameImage[25u << 20] __attribute__((used, aligned(4096)));

static const char* caseName = "?";
const char* foreignDll;
static const char* currentCall = "nothing";
static int checks, failures;
static char firstFailure[300];

bool check(bool ok, const char* format, ...) {
  ++checks;
  if (ok) return true;
  char text[300];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (!failures++) strcpy(firstFailure, text);
  fprintf(stderr, "  failed: %s\n", text);
  return false;
}

static char expectedLog[16384];

void expect_log(const char* format, ...) {
  const size_t used = strlen(expectedLog);
  va_list args;
  va_start(args, format);
  vsnprintf(expectedLog + used, sizeof expectedLog - used, format, args);
  va_end(args);
  strncat(expectedLog, "\r\n", sizeof expectedLog - strlen(expectedLog) - 1);
}

void compare_log(void) {
  static char actual[sizeof expectedLog];
  DWORD size = 0;
  HANDLE file = CreateFileA(LOG_NAME, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                            OPEN_EXISTING, 0, NULL);
  if (!check(file != INVALID_HANDLE_VALUE, "the log %s exists", LOG_NAME)) return;
  ReadFile(file, actual, sizeof actual - 1, &size, NULL);
  CloseHandle(file);
  actual[size] = '\0';
  if (!check(strcmp(actual, expectedLog) == 0, "the log differs from the expected lines")) {
    fprintf(stderr, "  --- log:\n%s  --- expected:\n%s  ---\n", actual, expectedLog);
  }
}

const char* root_directory(void) {
  static char directory[MAX_PATH];
  if (!directory[0]) {
    GetModuleFileNameA(NULL, directory, sizeof directory);
    char* slash = strrchr(directory, '\\');
    if (slash) slash[1] = '\0';
  }
  return directory;
}

const char* root_path(const char* name) {
  static char path[MAX_PATH];
  snprintf(path, sizeof path, "%s%s", root_directory(), name);
  return path;
}

/* ---- Checked calls ---------------------------------------------------- */

typedef struct CheckedCall {
  void* function;
  void* self;
  uint32_t argCount;
  uint32_t args[4];
  uint32_t espBefore, espAfter;
  uint32_t eax, ebx, esi, edi, ebp, eflags;
  uint16_t controlBefore, controlAfter;
  int32_t entryEspModulo;
} CheckedCall;
_Static_assert(offsetof(CheckedCall, espBefore) == 28 && offsetof(CheckedCall, eflags) == 56 &&
                   offsetof(CheckedCall, controlAfter) == 62 && offsetof(CheckedCall, entryEspModulo) == 64,
               "offsets used by CheckedCall.S");
void checked_call_raw(CheckedCall* call);

int checkedCallEspModulo = -1;

uint32_t call_checked(void* function, bool thiscall, void* self, const char* what, int argCount, ...) {
  va_list args;
  va_start(args, argCount);
  CheckedCall call = {
      .function = function, .self = self, .argCount = (uint32_t)argCount, .entryEspModulo = checkedCallEspModulo};
  for (int i = 0; i < argCount && i < 4; ++i) call.args[i] = va_arg(args, uint32_t);
  va_end(args);
  currentCall = what;
  checked_call_raw(&call);
  currentCall = "nothing";
  const uint32_t expectedEsp = call.espBefore + (thiscall ? 4u * (uint32_t)argCount : 0u);
  check(call.espAfter == expectedEsp, "%s: ESP off by %d after a %s call", what, (int)(call.espAfter - expectedEsp),
        thiscall ? "thiscall" : "cdecl");
  check(call.ebx == 0xB0B0B0B0u && call.esi == 0x5151515Au && call.edi == 0xD1D1D1D1u && call.ebp == 0xBEBEBEBEu,
        "%s: callee-saved register changed (EBX %08X ESI %08X EDI %08X EBP %08X)", what, (unsigned)call.ebx,
        (unsigned)call.esi, (unsigned)call.edi, (unsigned)call.ebp);
  check(call.entryEspModulo < 0 || (call.espBefore - 4) % 16 == (uint32_t)call.entryEspModulo,
        "%s: called with ESP %08X at entry, not %d modulo 16", what, (unsigned)(call.espBefore - 4),
        (int)call.entryEspModulo);
  check(!(call.eflags & 0x400), "%s: direction flag left set", what);
  check(call.controlAfter == call.controlBefore, "%s: x87 control word %04X became %04X", what, call.controlBefore,
        call.controlAfter);
  return call.eax;
}

/* ---- The script extender's side (cdecl records) ----------------------- */

typedef struct HostInterface {
  uint32_t hostVersion, runtimeVersion, editorVersion, isEditor;
  void* (*QueryInterface)(uint32_t id);
  uint32_t (*GetPluginHandle)(void);
} HostInterface;
_Static_assert(offsetof(HostInterface, isEditor) == 12 && offsetof(HostInterface, GetPluginHandle) == 20 &&
                   sizeof(HostInterface) == 24,
               "HostInterface layout");

typedef struct UiInterface {
  uint32_t interfaceVersion;
  bool (*Register)(const char* name, void* callback);
} UiInterface;
_Static_assert(offsetof(UiInterface, Register) == 4, "UiInterface layout");

HostSettings settings;
char hostEvents[256];
HMODULE plugin;
static void* queryEntry;
static void* loadEntry;
static void* registeredCallback;
static UiInterface uiInterface;
static HostInterface hostInterface;

static void event(const char* text) { strncat(hostEvents, text, sizeof hostEvents - strlen(hostEvents) - 1); }

static uint32_t GetPluginHandle(void) {
  event("GetPluginHandle;");
  return 7;
}

static void* QueryInterface(uint32_t id) {
  char text[32];
  snprintf(text, sizeof text, "QueryInterface %u;", (unsigned)id);
  event(text);
  if (id != 1 || !settings.offerUiInterface) return NULL;
  uiInterface.interfaceVersion = settings.uiInterfaceVersion;
  return &uiInterface;
}

static bool Register(const char* name, void* callback) {
  char text[64];
  snprintf(text, sizeof text, "Register %s;", name);
  event(text);
  registeredCallback = callback;
  return true;
}

bool open_plugin(const char* path) {
  plugin = LoadLibraryA(path);
  if (!check(plugin != NULL, "LoadLibraryA(%s) failed: error %lu", path, GetLastError())) return false;
  queryEntry = (void*)GetProcAddress(plugin, "SKSEPlugin_Query");
  loadEntry = (void*)GetProcAddress(plugin, "SKSEPlugin_Load");
  return check(queryEntry && loadEntry, "the plug-in exports SKSEPlugin_Query and SKSEPlugin_Load");
}

bool plugin_query(uint32_t* infoOut, const char** nameOut) {
  hostInterface = (HostInterface){0x01070030u, settings.runtimeVersion, 0, settings.isEditor, QueryInterface,
                                  GetPluginHandle};
  uiInterface.Register = Register;
  uint32_t info[3] = {0xEEEEEEEEu, 0xEEEEEEEEu, 0xEEEEEEEEu};
  const bool accepted = (uint8_t)call_checked(queryEntry, false, NULL, "SKSEPlugin_Query", 2, &hostInterface, info);
  if (infoOut) memcpy(infoOut, info, sizeof info);
  if (nameOut) *nameOut = (const char*)info[1];
  return accepted;
}

bool plugin_load(void) { return (uint8_t)call_checked(loadEntry, false, NULL, "SKSEPlugin_Load", 1, &hostInterface); }

bool register_movie(void* movie) {
  if (!check(registeredCallback != NULL, "the load registered a callback")) return false;
  Value* namespaceObject = game_namespace(movie);
  return (uint8_t)call_checked(registeredCallback, false, NULL, "registration callback", 2, movie, namespaceObject);
}

bool start_session(const char* dllPath, void** movie) {
  if (!open_plugin(dllPath)) return false;
  expect_log("SKSEPlugin_Query start");
  expect_log("SKSEPlugin_Query done");
  if (!check(plugin_query(NULL, NULL), "the query accepts the game's runtime")) return false;
  expect_log("SKSEPlugin_Load start");
  expect_log("SKSEPlugin_Load done");
  if (!check(plugin_load(), "the load returns true")) return false;
  if (!movie) return true;
  *movie = game_new_movie(KIND_DISPLAY_OBJECT | KIND_MANAGED, true);
  expect_log("RegisterScaleform start");
  expect_log("RegisterScaleform done");
  return check(register_movie(*movie), "the registration callback returns true");
}

/* ---- Handler calls ---------------------------------------------------- */

bool failMallocInCalls;
static void* (*realMalloc)(size_t);
static bool mallocArmed;

static void* failing_malloc(size_t size) {
  if (!mallocArmed) return realMalloc(size);
  mallocArmed = false;
  return NULL;
}

void* hook_import(const char* module, const char* function, void* replacement) {
  BYTE* base = (BYTE*)plugin;
  const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY* directory = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (const IMAGE_IMPORT_DESCRIPTOR* import = (const void*)(base + directory->VirtualAddress); import->Name;
       ++import) {
    if (_stricmp((const char*)base + import->Name, module) != 0) continue;
    const IMAGE_THUNK_DATA* names =
        (const void*)(base + (import->OriginalFirstThunk ? import->OriginalFirstThunk : import->FirstThunk));
    void** slots = (void**)(base + import->FirstThunk);
    for (int i = 0; names[i].u1.AddressOfData; ++i) {
      if (IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) continue;
      if (strcmp((const char*)((const IMAGE_IMPORT_BY_NAME*)(base + names[i].u1.AddressOfData))->Name, function)) {
        continue;
      }
      DWORD old;
      VirtualProtect(&slots[i], sizeof slots[i], PAGE_READWRITE, &old);
      void* previous = slots[i];
      slots[i] = replacement;
      VirtualProtect(&slots[i], sizeof slots[i], old, &old);
      return previous;
    }
  }
  check(false, "the plug-in imports %s from %s", function, module);
  return NULL;
}

bool install_failing_malloc(void) {
  realMalloc = (void* (*)(size_t))hook_import("msvcrt.dll", "malloc", (void*)failing_malloc);
  return realMalloc != NULL;
}

/* Kind and contents of a result, comparable after the next call. */
static void describe(const Value* value, char* out, size_t size) {
  const uint32_t kind = value->kindWord;
  if (kind == KIND_STRING) snprintf(out, size, "string \"%s\"", (const char*)value->payload.pointer);
  else if (kind == KIND_BOOLEAN) snprintf(out, size, "boolean %u", value->payload.boolean);
  else snprintf(out, size, "kind %u", (unsigned)kind);
}

/* Bytes 12 to 15 of a value are the runtime's: no call may write them. */
static const uint32_t runtimeWord = 0xC0DEFACEu;
static void mark_runtime_word(Value* value) { memcpy((char*)value + 12, &runtimeWord, sizeof runtimeWord); }
static bool runtime_word_kept(const Value* value) {
  return memcmp((const char*)value + 12, &runtimeWord, sizeof runtimeWord) == 0;
}

static void arm_malloc(void) { mallocArmed = failMallocInCalls; }

static void expect_malloc_failed(const char* name) {
  if (failMallocInCalls) check(!mallocArmed, "%s made no malloc call", name);
  mallocArmed = false;
}

bool call_member(void* movie, const char* name, Value* args, uint32_t argCount, Value* result) {
  void* handler = game_member(movie, name);
  if (!check(handler != NULL, "the movie has a member %s", name)) return false;
  CallRecord record = {result, movie, NULL, NULL, args, argCount};
  /* Static: a callee with the wrong convention may write over the stack. */
  static char first[256], second[256], what[64];
  /* The checked call first: a wrong convention then fails by name before it
   * can wreck the stack of the game's own call. */
  *result = (Value){0};
  mark_runtime_word(result);
  snprintf(what, sizeof what, "%s HandleCall (table slot 1)", name);
  arm_malloc();
  call_checked((*(void***)handler)[1], true, handler, what, 1, &record);
  expect_malloc_failed(name);
  describe(result, first, sizeof first);
  check(runtime_word_kept(result), "%s left result bytes 12 to 15 alone", name);

  /* This time the result still holds a managed value: released first. */
  static const void* held;
  *result = managed(string_value("held by the runtime"), &held);
  mark_runtime_word(result);
  const uint32_t releases = game_records()->releases;
  snprintf(what, sizeof what, "%s HandleCall (game's virtual call)", name);
  currentCall = what;
  arm_malloc();
  game_call_handler(handler, &record);
  currentCall = "nothing";
  expect_malloc_failed(name);
  describe(result, second, sizeof second);
  check(runtime_word_kept(result), "%s left result bytes 12 to 15 alone", name);
  check(game_records()->releases == releases + 1, "%s released the managed result once: %u releases", name,
        (unsigned)(game_records()->releases - releases));
  return check(strcmp(first, second) == 0, "%s: the checked call gave %s, the game's call %s", name, first, second);
}

Value string_value(const char* text) { return (Value){.kindWord = KIND_STRING, .payload.pointer = text}; }
Value wide_value(const uint16_t* text) { return (Value){.kindWord = KIND_WIDE_STRING, .payload.pointer = text}; }
Value boolean_value(bool flag) { return (Value){.kindWord = KIND_BOOLEAN, .payload.boolean = flag}; }

Value managed(Value value, const void** holder) {
  *holder = value.payload.pointer;
  return (Value){.objectInterface = game_object_interface(),
                 .kindWord = value.kindWord | KIND_MANAGED,
                 .payload.pointer = holder};
}

/* ---- Process ---------------------------------------------------------- */

static LONG WINAPI report_crash(EXCEPTION_POINTERS* exception) {
  const GameRecords* records = game_records ? game_records() : NULL;
  const EXCEPTION_RECORD* what = exception->ExceptionRecord;
  fprintf(stderr, "FAIL: %s: %s%sexception %08lX at %p during %s%s%s\n", caseName, firstFailure,
          failures ? "; then " : "", what->ExceptionCode, what->ExceptionAddress, currentCall,
          records && records->error[0] ? "; game side: " : "", records ? records->error : "");
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 1);
  return EXCEPTION_EXECUTE_HANDLER;
}

/* std::terminate ends in msvcrt's abort, shared with the plug-in. */
static void report_abort(int signalNumber) {
  (void)signalNumber;
  fprintf(stderr, "FAIL: %s: %s%sabort() during %s\n", caseName, firstFailure, failures ? "; then " : "",
          currentCall);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
}

static bool load_game_side(void) {
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%sgame.dll", root_directory());
  HMODULE game = LoadLibraryA(path);
  if (!check(game != NULL, "game.dll loads")) return false;
#define X(ret, name, params)                                   \
  name = (ret(*) params)(void*)GetProcAddress(game, #name);    \
  if (!check(name != NULL, "game.dll exports " #name)) return false;
  GAME_EXPORTS(X)
#undef X
  return true;
}

static bool jump_to(uintptr_t at, void* target) {
  DWORD old;
  if (!VirtualProtect((void*)at, 5, PAGE_EXECUTE_READWRITE, &old)) return false;
  unsigned char* code = (unsigned char*)at;
  code[0] = 0xE9; /* jmp rel32 */
  const int32_t offset = (int32_t)((uintptr_t)target - (at + 5));
  memcpy(code + 1, &offset, sizeof offset);
  return FlushInstructionCache(GetCurrentProcess(), code, 5);
}

/* The game's code and heap word at their fixed addresses. */
static bool install_game(void) {
  const uintptr_t start = (uintptr_t)gameImage, end = start + sizeof gameImage;
  if (!check(start <= SET_MEMBER_CODE && HEAP_WORD + 4 <= end, "the image spans the game's addresses (%08X-%08X)",
             (unsigned)start, (unsigned)end)) {
    return false;
  }
  if (!load_game_side()) return false;
  *(void**)HEAP_WORD = game_heap();
  return check(jump_to(RELEASE_CODE, game_release_code()) && jump_to(SET_MEMBER_CODE, game_set_member_code()),
               "the game's code addresses are made executable");
}

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--list") == 0) {
    for (int i = 0; i < caseCount; ++i) fprintf(stderr, "%s\n", cases[i].name);
    fprintf(stderr, "end of cases\n");
    return 0;
  }
  if (argc < 3) {
    fprintf(stderr, "usage: host CASE DLL [FOREIGN_DLL]\n");
    return 2;
  }
  caseName = argv[1];
  SetUnhandledExceptionFilter(report_crash);
  signal(SIGABRT, report_abort);
  if (!freopen("console.txt", "w", stdout)) check(false, "standard output is captured");
  settings = (HostSettings){0x08970000u, 0, true, 1};
  int found = 0;
  for (int i = 0; i < caseCount; ++i) {
    if (strcmp(cases[i].name, caseName) != 0) continue;
    found = 1;
    foreignDll = argc > 3 ? argv[3] : NULL;
    if (install_game()) cases[i].run(argv[2]);
    const GameRecords* records = game_records ? game_records() : NULL;
    if (records) check(!records->error[0], "game side: %s", records->error);
  }
  if (!found && strcmp(benchmark.name, caseName) == 0) {
    found = 1;
    if (install_game()) benchmark.run(argv[2]);
  }
  if (!found) check(false, "no case named %s", caseName);
  if (failures == 0 && checks > 0) fprintf(stderr, "ok: %s\n", caseName);
  else fprintf(stderr, "FAIL: %s: %s%s\n", caseName, firstFailure, failures > 1 ? " (and more)" : "");
  return failures == 0 ? 0 : 1;
}
