/* The 32-bit stand-in for the game and the script extender. */
#ifndef I686_HOST_H
#define I686_HOST_H

#include <windows.h>

#include <stdbool.h>
#include <stdint.h>

#include "../GameSide.h"

#define X(ret, name, params) extern ret(*name) params;
GAME_EXPORTS(X)
#undef X

#define LOG_NAME "skse_quiverleaf_extensions.log"

/* Checks: a failed one is printed and fails the case. */
bool check(bool ok, const char* format, ...) __attribute__((format(printf, 2, 3)));
/* Adds a line the plug-in's log must hold next; compare_log checks them all. */
void expect_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void compare_log(void);
/* The executable's directory with a trailing backslash: the runtime root. */
const char* root_directory(void);
const char* root_path(const char* name);

/* Calls into the plug-in through the checked helper; `what` names the
 * function in a failure. */
uint32_t call_checked(void* function, bool thiscall, void* self, const char* what, int argCount, ...);
/* ESP modulo 16 at the entry of the checked calls (the game guarantees only
 * 4-byte alignment); -1 leaves it as it comes. */
extern int checkedCallEspModulo;

/* The script extender's side. */
typedef struct HostSettings {
  uint32_t runtimeVersion;
  uint32_t isEditor;
  bool offerUiInterface;
  uint32_t uiInterfaceVersion;
} HostSettings;
extern HostSettings settings; /* reset to the game's own before each case */
extern char hostEvents[256];  /* "GetPluginHandle;QueryInterface 1;Register quiverleaf;" */
extern HMODULE plugin;

bool open_plugin(const char* path);
bool plugin_query(uint32_t* infoOut /* 3 words */, const char** nameOut);
bool plugin_load(void);
/* The callback the load registered, called for a movie as the script
 * extender does. */
bool register_movie(void* movie);
/* Query, load and (unless `movie` is null) one movie, with their log lines
 * expected. */
bool start_session(const char* dllPath, void** movie);

/* Calls a movie's member through the checked helper with the slot the game
 * uses, then as the game does (clang's virtual call) on a result that still
 * holds a managed value; *result is the second result, which must equal the
 * first. Neither call may write result bytes 12 to 15. */
bool call_member(void* movie, const char* name, Value* args, uint32_t argCount, Value* result);
/* When set, one malloc of the plug-in fails during each such call. */
extern bool failMallocInCalls;
bool install_failing_malloc(void);
/* Points the plug-in's import of `function` at `replacement`; returns what
 * it held, or null (a failed check) when there is no such import. */
void* hook_import(const char* module, const char* function, void* replacement);

Value string_value(const char* text);
Value wide_value(const uint16_t* text);
Value boolean_value(bool flag);
/* The value as the runtime holds it: managed, its text pointer in *holder. */
Value managed(Value value, const void** holder);

typedef struct Case {
  const char* name;
  void (*run)(const char* dllPath);
} Case;
extern const char* foreignDll; /* a MinGW libgcc DLL, for the case that loads it */
extern const Case cases[];
extern const int caseCount;
/* Timings of the repair, run only when asked for by name. */
extern const Case benchmark;

#endif
