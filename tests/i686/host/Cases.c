/* One function per case; each runs in a process of its own. */
#include "Host.h"

#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>

#define PRIVET "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"
#define PRIVET_MISREAD "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2"

static void expect_file(const char* name, const void* bytes, DWORD size) {
  static char actual[4096];
  DWORD read = 0;
  HANDLE file = CreateFileA(root_path(name), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (!check(file != INVALID_HANDLE_VALUE, "%s exists", name)) return;
  ReadFile(file, actual, sizeof actual, &read, NULL);
  CloseHandle(file);
  check(read == size && memcmp(actual, bytes, size) == 0, "%s: %lu bytes differ from the %lu expected", name, read,
        size);
}

static void write_root_file(const char* name, const char* text) {
  HANDLE file = CreateFileA(root_path(name), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  DWORD written;
  WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
  CloseHandle(file);
}

/* A saveFile call (made twice by call_member) and its log lines. */
static void save(void* movie, Value name, Value text, bool expected, const char* outcomeLine) {
  static bool rootLogged;
  for (int i = 0; i < 2; ++i) {
    expect_log("SaveFile start");
    const bool reachesFile = strstr(outcomeLine, "path:") || strcmp(outcomeLine, "SaveFile done") == 0;
    if (reachesFile && !rootLogged) expect_log("runtime root = %s", root_directory());
    rootLogged = rootLogged || reachesFile;
    expect_log("%s", outcomeLine);
  }
  Value args[2] = {name, text}, result;
  if (!call_member(movie, "saveFile", args, 2, &result)) return;
  check(result.kindWord == KIND_BOOLEAN && result.payload.boolean == expected, "saveFile answers %s (%s)",
        expected ? "true" : "false", outcomeLine);
}

static void repair(void* movie, const char* input, const char* expected) {
  Value argument = string_value(input), result;
  if (!call_member(movie, "Win1251ToUTF8", &argument, 1, &result)) return;
  check(result.kindWord == KIND_STRING && strcmp(result.payload.pointer, expected) == 0,
        "Win1251ToUTF8(\"%s\") gives \"%s\"", input, expected);
}

static void expect_refusal(const char* when, const char* events, const char* message) {
  hostEvents[0] = '\0';
  expect_log("SKSEPlugin_Query start");
  expect_log("%s", message);
  uint32_t info[3];
  const char* name = NULL;
  check(!plugin_query(info, &name), "%s: the query refuses", when);
  check(info[0] == 1 && info[2] == 3 && name && strcmp(name, "skse_quiverleaf") == 0,
        "%s: the information record is filled", when);
  check(strcmp(hostEvents, events) == 0, "%s: host calls \"%s\", expected \"%s\"", when, hostEvents, events);
}

static void query_refusals(const char* dll) {
  if (!open_plugin(dll)) return;
  settings.runtimeVersion = 0x09000000u;
  settings.isEditor = 1;
  expect_refusal("another runtime", "GetPluginHandle;", "Quiverleaf_extensions compatible with only Skyrim 1.8.151.0");
  settings.runtimeVersion = 0x08970000u;
  expect_refusal("the editor", "GetPluginHandle;", "Loaded in editor, marking as incompatible");
  settings.isEditor = 0;
  settings.offerUiInterface = false;
  expect_refusal("no UI interface", "GetPluginHandle;QueryInterface 1;", "Couldn't get scaleform interface");
  settings.offerUiInterface = true;
  settings.uiInterfaceVersion = 0;
  expect_refusal("UI interface version 0", "GetPluginHandle;QueryInterface 1;",
                 "Scaleform interface is too old (0 expected 1)");
  check(game_records()->allocations == 0, "no UI heap allocation");
  compare_log();
}

/* A handler object: its table lies in the plug-in's image, as do both slots. */
static void check_handler(void* handler, const char* name) {
  const void* const* table = *(const void* const* const*)handler;
  MEMORY_BASIC_INFORMATION region[3] = {0};
  VirtualQuery(table, &region[0], sizeof region[0]);
  VirtualQuery(table[0], &region[1], sizeof region[1]);
  VirtualQuery(table[1], &region[2], sizeof region[2]);
  check(region[0].AllocationBase == plugin && region[1].AllocationBase == plugin && region[2].AllocationBase == plugin,
        "%s handler: table and slots 0 and 1 lie in the plug-in's image", name);
  check(((const int32_t*)handler)[1] == 1, "%s handler: reference count 1", name);
}

static void load_and_register(const char* dll) {
  settings.uiInterfaceVersion = 0x80000000u; /* unsigned: accepted */
  if (!open_plugin(dll)) return;
  expect_log("SKSEPlugin_Query start");
  expect_log("SKSEPlugin_Query done");
  check(plugin_query(NULL, NULL), "the query accepts interface version 0x80000000");
  hostEvents[0] = '\0';
  expect_log("SKSEPlugin_Load start");
  expect_log("SKSEPlugin_Load done");
  check(plugin_load(), "the load returns true");
  check(strcmp(hostEvents, "Register quiverleaf;") == 0, "the load registers under quiverleaf: %s", hostEvents);

  /* Kind words 0x48 and 0x88: bit 7 belongs to the kind code, so only the
   * first namespace is a display object. */
  void* first = game_new_movie(KIND_DISPLAY_OBJECT | KIND_MANAGED, true);
  void* second = game_new_movie(0x80 | KIND_DISPLAY_OBJECT, false);
  void* const movies[3] = {first, first, second};
  for (int i = 0; i < 3; ++i) {
    expect_log("RegisterScaleform start");
    expect_log("RegisterScaleform done");
    check(register_movie(movies[i]), "registration %d returns true", i);
  }
  const GameRecords* records = game_records();
  if (!check(records->allocations == 2, "2 UI heap allocations, one per handler class: %u", records->allocations)) {
    return;
  }
  for (int i = 0; i < 2; ++i) {
    check(records->allocationSize[i] == 8 && records->allocationFlags[i] == 0,
          "allocation %d: size %u flags %u, expected 8 and 0", i, records->allocationSize[i],
          records->allocationFlags[i]);
  }
  check(records->creates == 6 && records->setMembers == 6, "6 functions created and set: %u, %u", records->creates,
        records->setMembers);
  check(records->releases == 4, "the 4 managed function values released: %u", records->releases);
  for (int i = 0; i < 3; i += 2) {
    check(game_member(movies[i], "saveFile") == records->allocated[0] &&
              game_member(movies[i], "Win1251ToUTF8") == records->allocated[1],
          "movie %d holds both functions on the cached handlers", i);
  }
  check_handler(records->allocated[0], "saveFile");
  check_handler(records->allocated[1], "Win1251ToUTF8");
  check(*(void**)records->allocated[0] != *(void**)records->allocated[1], "each handler class has its own table");

  repair(second, PRIVET_MISREAD, PRIVET);
  Value argument = string_value("a.txt"), result;
  for (int i = 0; i < 2; ++i) {
    expect_log("SaveFile start");
    expect_log("SaveFile: Bad number of arguments: 1, expected 2");
  }
  if (call_member(second, "saveFile", &argument, 1, &result)) {
    check(result.kindWord == KIND_BOOLEAN && result.payload.boolean == 0, "saveFile with one argument is false");
  }
  compare_log();
}

static const uint16_t wideText[] = {'a', 0x041F, 0x0440, 0x0438, 0x0432, 0x0435, 0x0442, '\n', 0};
static const unsigned char wideBytes[] = {0x61, 0, 0x1F, 4, 0x40, 4, 0x38, 4, 0x32, 4, 0x35, 4, 0x42, 4, 0x0A, 0};

static void save_file(const char* dll) {
  void* movie;
  if (!start_session(dll, &movie)) return;
  const char narrow[] = "one\ntwo\r\n\xD0\x9F\xFF";
  save(movie, string_value("narrow.txt"), string_value(narrow), true, "SaveFile done");
  expect_file("narrow.txt", narrow, sizeof narrow - 1);
  save(movie, string_value("wide.txt"), wide_value(wideText), true, "SaveFile done");
  expect_file("wide.txt", wideBytes, sizeof wideBytes);
  /* Managed arguments: each text is read through the runtime's pointer. */
  const void *name, *text;
  save(movie, managed(string_value("m.txt"), &name), managed(string_value(narrow), &text), true, "SaveFile done");
  expect_file("m.txt", narrow, sizeof narrow - 1);
  save(movie, managed(string_value("mw.txt"), &name), managed(wide_value(wideText), &text), true, "SaveFile done");
  expect_file("mw.txt", wideBytes, sizeof wideBytes);
  /* The open log is no target (refused once the root is known). */
  save(movie, string_value(LOG_NAME), string_value("forged"), false, "SaveFile: File name not allowed: " LOG_NAME);
  compare_log();
}

static void save_file_refusals(const char* dll) {
  void* movie;
  if (!start_session(dll, &movie)) return;
  save(movie, string_value("..\\x.txt"), string_value("up"), false, "SaveFile: File name not allowed: ..\\x.txt");
  check(GetFileAttributesA(root_path("..\\x.txt")) == INVALID_FILE_ATTRIBUTES, "nothing above the root");
  save(movie, boolean_value(true), string_value("text"), false, "SaveFile: First argument is not a string, type: 2");
  save(movie, string_value("null.txt"), string_value(NULL), false, "SaveFile: Argument string is null");
  check(GetFileAttributesA(root_path("null.txt")) == INVALID_FILE_ATTRIBUTES, "a refused save writes nothing");
  compare_log();
}

typedef BOOL(WINAPI* WriteFileFn)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
static WriteFileFn realWriteFile;
static int failingWrites; /* the plug-in's next WriteFile calls that fail */

static BOOL WINAPI failing_write_file(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                                      LPOVERLAPPED overlapped) {
  if (failingWrites == 0) return realWriteFile(file, bytes, size, written, overlapped);
  --failingWrites;
  if (written) *written = 0;
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

/* A save that cannot open its file, or cannot write it, leaves the old one. */
static void save_file_held(const char* dll) {
  void* movie;
  if (!start_session(dll, &movie)) return;
  write_root_file("held.txt", "old");
  HANDLE holder = CreateFileA(root_path("held.txt"), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  check(holder != INVALID_HANDLE_VALUE, "held.txt is held");
  char line[MAX_PATH + 64];
  snprintf(line, sizeof line, "SaveFile: Could not open file for writting, path: %s", root_path("held.txt"));
  save(movie, string_value("held.txt"), string_value("new"), false, line);
  expect_file("held.txt", "old", 3);
  CloseHandle(holder);
  save(movie, string_value("held.txt"), string_value("new"), true, "SaveFile done");
  expect_file("held.txt", "new", 3);

  realWriteFile = (WriteFileFn)hook_import("kernel32.dll", "WriteFile", (void*)failing_write_file);
  if (!realWriteFile) return;
  failingWrites = 2; /* one for each call of the handler */
  snprintf(line, sizeof line, "SaveFile: Could not write file, path: %s", root_path("held.txt"));
  save(movie, string_value("held.txt"), string_value("newer"), false, line);
  check(failingWrites == 0, "saveFile wrote through WriteFile");
  expect_file("held.txt", "new", 3);
  check(GetFileAttributesA(root_path(".held.txt.quiverleaf-tmp")) == INVALID_FILE_ATTRIBUTES,
        "a failed write leaves no temporary file");
  compare_log();
}

typedef FARPROC(WINAPI* GetProcAddressFn)(HMODULE, LPCSTR);
static GetProcAddressFn realGetProcAddress;
static const char* const laterFunctions[] = {"SetFileInformationByHandle", "GetFinalPathNameByHandleW"};
static unsigned laterLookups; /* bit i: laterFunctions[i] was asked for */

static FARPROC WINAPI xp_get_proc_address(HMODULE module, LPCSTR name) {
  for (unsigned i = 0; (uintptr_t)name > 0xFFFF && i < 2; ++i) {
    if (strcmp(name, laterFunctions[i]) != 0) continue;
    laterLookups |= 1u << i;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return NULL;
  }
  return realGetProcAddress(module, name);
}

/* Without the kernel32 functions newer than Windows XP, a save still
 * replaces its file and clears a stale temporary file. */
static void save_file_xp(const char* dll) {
  void* movie;
  if (!start_session(dll, &movie)) return;
  realGetProcAddress = (GetProcAddressFn)hook_import("kernel32.dll", "GetProcAddress", (void*)xp_get_proc_address);
  if (!realGetProcAddress) return;
  write_root_file("xp.txt", "old");
  write_root_file(".xp.txt.quiverleaf-tmp", "stale");
  save(movie, string_value("xp.txt"), string_value("new"), true, "SaveFile done");
  for (unsigned i = 0; i < 2; ++i) check(laterLookups & 1u << i, "saveFile looked %s up", laterFunctions[i]);
  expect_file("xp.txt", "new", 3);
  check(GetFileAttributesA(root_path(".xp.txt.quiverleaf-tmp")) == INVALID_FILE_ATTRIBUTES,
        "the stale temporary file is gone");
  compare_log();
}

static void win1251(const char* dll) {
  void* movie;
  if (!start_session(dll, &movie)) return;
  /* The 64 letters А..я (0xC0..0xFF) read as Latin-1, and what they are. */
  char misread[129], letters[129];
  for (int i = 0; i < 64; ++i) {
    misread[2 * i] = (char)0xC3;
    misread[2 * i + 1] = (char)(0x80 + i);
    const unsigned code = 0x410u + (unsigned)i;
    letters[2 * i] = (char)(0xC0 | code >> 6);
    letters[2 * i + 1] = (char)(0x80 | (code & 0x3F));
  }
  misread[128] = letters[128] = '\0';
  /* Mis-read words between spaces (16-byte blocks, one ending on a lead,
   * and a last short one), and ASCII long enough for 64-byte steps before a
   * mis-read word and a « that only the table walk converts. */
  char words[5 * 13 + 1] = "", wordsRepaired[5 * 13 + 1] = "", mixed[160], mixedRepaired[160];
  for (int i = 0; i < 5; ++i) {
    strcat(words, PRIVET_MISREAD " ");
    strcat(wordsRepaired, PRIVET " ");
  }
  const char ascii[] = "Plain ASCII prose, long enough to be measured sixty-four bytes at a time: 42!";
  snprintf(mixed, sizeof mixed, "%s \xC2\xAB" PRIVET_MISREAD, ascii);
  snprintf(mixedRepaired, sizeof mixedRepaired, "%s \xC2\xAB" PRIVET, ascii);
  /* At every stack alignment the game may leave at the checked call. */
  for (checkedCallEspModulo = 0; checkedCallEspModulo < 16; checkedCallEspModulo += 4) {
    repair(movie, misread, letters);
    repair(movie, words, wordsRepaired);
    repair(movie, mixed, mixedRepaired);
    repair(movie, PRIVET, PRIVET);
    repair(movie, ascii, ascii);
  }
  checkedCallEspModulo = -1;
  const void* held;
  Value args[2] = {managed(string_value(PRIVET_MISREAD), &held), string_value("x")}, result;
  if (call_member(movie, "Win1251ToUTF8", args, 1, &result)) {
    check(result.kindWord == KIND_STRING && strcmp(result.payload.pointer, PRIVET) == 0,
          "Win1251ToUTF8 reads a managed string through its pointer");
  }
  if (call_member(movie, "Win1251ToUTF8", args, 2, &result)) {
    check(result.kindWord == KIND_UNDEFINED, "Win1251ToUTF8 with two arguments is undefined");
  }
  args[0] = wide_value(wideText);
  if (call_member(movie, "Win1251ToUTF8", args, 1, &result)) {
    check(result.kindWord == KIND_UNDEFINED, "Win1251ToUTF8 of a wide string is undefined");
  }
  compare_log();
}

static void heap_refusal(const char* dll) {
  void* movie;
  if (!start_session(dll, NULL)) return;
  game_records()->refuseAllocation = 1;
  movie = game_new_movie(KIND_DISPLAY_OBJECT, true);
  expect_log("RegisterScaleform start");
  expect_log("InstallUiFunction: Could not allocate handler for saveFile");
  expect_log("RegisterScaleform done");
  check(register_movie(movie), "the registration returns true");
  check(!game_member(movie, "saveFile") && game_member(movie, "Win1251ToUTF8"),
        "the movie lacks saveFile only");
  repair(movie, PRIVET_MISREAD, PRIVET);
  /* The next movie gets both: the refused handler is allocated again. */
  movie = game_new_movie(KIND_DISPLAY_OBJECT, true);
  expect_log("RegisterScaleform start");
  expect_log("RegisterScaleform done");
  check(register_movie(movie), "the next registration returns true");
  save(movie, string_value("after.txt"), string_value("x"), true, "SaveFile done");
  compare_log();
}

/* Each handler survives a failed malloc: undefined and false, then works. */
static void malloc_failure(const char* dll) {
  void* movie;
  if (!start_session(dll, &movie) || !install_failing_malloc()) return;
  failMallocInCalls = true;
  Value args[2] = {string_value(PRIVET_MISREAD), string_value("text")}, result;
  if (call_member(movie, "Win1251ToUTF8", args, 1, &result)) {
    check(result.kindWord == KIND_UNDEFINED, "Win1251ToUTF8 without memory is undefined");
  }
  args[0] = string_value("m.txt");
  if (call_member(movie, "saveFile", args, 2, &result)) {
    check(result.kindWord == KIND_BOOLEAN && result.payload.boolean == 0, "saveFile without memory is false");
  }
  failMallocInCalls = false;
  repair(movie, PRIVET_MISREAD, PRIVET);
  if (call_member(movie, "saveFile", args, 2, &result)) {
    check(result.kindWord == KIND_BOOLEAN && result.payload.boolean == 1, "saveFile with memory again is true");
  }
  expect_file("m.txt", "text", 4);
}

/* Another MinGW module's libgcc in the process first, as a game can have. */
static void malloc_failure_foreign_libgcc(const char* dll) {
  const char* foreign = foreignDll ? foreignDll : "(no path given)";
  if (!check(foreignDll && LoadLibraryA(foreignDll), "the foreign %s loads", foreign)) return;
  malloc_failure(dll);
}

static void game_delete(const char* dll) {
  void* movie;
  if (!start_session(dll, &movie)) return;
  void* saveHandler = game_member(movie, "saveFile");
  void* repairHandler = game_member(movie, "Win1251ToUTF8");
  const GameRecords* records = game_records();
  /* The checked calls first, so a wrong convention fails by name. Flags 0
   * destroy without freeing: the block is not the plug-in's to give back. */
  const uint32_t kept = call_checked((*(void***)saveHandler)[0], true, saveHandler,
                                     "scalar deleting destructor (table slot 0)", 1, 0u);
  check(kept == (uint32_t)(uintptr_t)saveHandler && records->frees == 0, "flags 0 return this and free nothing");
  const uint32_t returned = call_checked((*(void***)repairHandler)[0], true, repairHandler,
                                         "scalar deleting destructor (table slot 0)", 1, 1u);
  check(returned == (uint32_t)(uintptr_t)repairHandler, "the destructor returns this");
  check(records->frees == 1 && records->freed[0] == repairHandler, "flags 1 free the block to the UI heap");
  game_delete_handler(saveHandler);
  check(records->frees == 2 && records->freed[1] == saveHandler, "the game's delete frees the block to the UI heap");
  compare_log();
}

static int thread_count(void) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {.dwSize = sizeof entry};
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    count += entry.th32OwnerProcessID == GetCurrentProcessId();
  }
  CloseHandle(snapshot);
  return count;
}

unsigned read_mxcsr(void);
unsigned read_x87_control(void);

static void no_process_trace(const char* dll) {
  LPTOP_LEVEL_EXCEPTION_FILTER hostFilter = SetUnhandledExceptionFilter(NULL);
  SetUnhandledExceptionFilter(hostFilter);
  const int threads = thread_count();
  const unsigned mxcsr = read_mxcsr(), control = read_x87_control();
  void* movie;
  if (!start_session(dll, &movie)) return;
  repair(movie, PRIVET_MISREAD, PRIVET);
  save(movie, string_value("trace.txt"), string_value("x"), true, "SaveFile done");
  LPTOP_LEVEL_EXCEPTION_FILTER filter = SetUnhandledExceptionFilter(hostFilter);
  check(filter == hostFilter, "the unhandled-exception filter is still the host's");
  check(thread_count() == threads, "thread count %d, before the load %d", thread_count(), threads);
  check(read_mxcsr() == mxcsr, "MXCSR %08X, before the load %08X", read_mxcsr(), mxcsr);
  check(read_x87_control() == control, "x87 control word %04X, before the load %04X", read_x87_control(), control);
  compare_log();
}

const Case cases[] = {
    {"query_refusals", query_refusals},
    {"load_and_register", load_and_register},
    {"save_file", save_file},
    {"save_file_refusals", save_file_refusals},
    {"save_file_held", save_file_held},
    {"save_file_xp", save_file_xp},
    {"win1251", win1251},
    {"heap_refusal", heap_refusal},
    {"malloc_failure", malloc_failure},
    {"malloc_failure_foreign_libgcc", malloc_failure_foreign_libgcc},
    {"game_delete", game_delete},
    {"no_process_trace", no_process_trace},
};
const int caseCount = sizeof cases / sizeof cases[0];
