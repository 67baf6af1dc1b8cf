#include "ScriptExtender.h"

#include <stdio.h>
#include <string.h>

ScriptExtender skse;

static void add_event(const char* event) {
  strncat(skse.events, event, sizeof skse.events - strlen(skse.events) - 1);
  strncat(skse.events, ";", sizeof skse.events - strlen(skse.events) - 1);
}

static void* query_interface(uint32_t id) {
  char event[32];
  snprintf(event, sizeof event, "QueryInterface %u", (unsigned)id);
  add_event(event);
  if (id != UI_INTERFACE_ID || !skse.offerUiInterface) return NULL;
  return &skse.uiInterface;
}

static uint32_t get_plugin_handle(void) {
  add_event("GetPluginHandle");
  return SKSE_PLUGIN_HANDLE;
}

static bool register_callback(const char* name, UiCallback callback) {
  char event[64];
  snprintf(event, sizeof event, "Register %s", name);
  add_event(event);
  if (skse.callbackCount < SKSE_MAX_CALLBACKS && strlen(name) < sizeof skse.namespaces[0]) {
    strcpy(skse.namespaces[skse.callbackCount], name);
    skse.callbacks[skse.callbackCount++] = callback;
  }
  return skse.registerResult;
}

/* The game passes Windows paths. Wine's LoadLibraryA takes the Unix form as
 * well, but maps the Unix root to drive Z: either way. */
static void to_windows_path(const char* path, char* out, size_t outSize) {
  const char* prefix = path[0] == '/' ? "Z:" : "";
  snprintf(out, outSize, "%s%s", prefix, path);
  for (char* c = out; *c; ++c) {
    if (*c == '/') *c = '\\';
  }
}

bool skse_open_plugin(const char* dllPath) {
  char path[MAX_PATH];
  to_windows_path(dllPath, path, sizeof path);
  skse.module = LoadLibraryA(path);
  if (!skse.module) {
    fprintf(stderr, "LoadLibraryA(%s) failed: error %lu\n", path, (unsigned long)GetLastError());
    return false;
  }
  /* Through CodeSlot: a cast between object and function pointers is not C. */
  skse.query = (QueryEntry)(CodeSlot)GetProcAddress(skse.module, "SKSEPlugin_Query");
  skse.load = (LoadEntry)(CodeSlot)GetProcAddress(skse.module, "SKSEPlugin_Load");
  if (!skse.query) fprintf(stderr, "no export SKSEPlugin_Query in %s\n", path);
  if (!skse.load) fprintf(stderr, "no export SKSEPlugin_Load in %s\n", path);
  return skse.query && skse.load;
}

void skse_reset_settings(void) {
  skse.runtimeVersion = RUNTIME_1_8_151_0;
  skse.isEditor = 0;
  skse.offerUiInterface = true;
  skse.uiInterfaceVersion = 1;
  skse.registerResult = true;
}

bool skse_query(void) {
  skse.record.hostVersion = 0x01070030;
  skse.record.runtimeVersion = skse.runtimeVersion;
  skse.record.editorVersion = 0;
  skse.record.isEditor = skse.isEditor;
  skse.record.QueryInterface = query_interface;
  skse.record.GetPluginHandle = get_plugin_handle;
  skse.uiInterface.interfaceVersion = skse.uiInterfaceVersion;
  skse.uiInterface.Register = register_callback;
  memset(&skse.info, 0xEE, sizeof skse.info);
  return skse.query(&skse.record, &skse.info);
}

bool skse_load(void) { return skse.load(&skse.record); }

bool skse_set_up_movie(GameMovie* movie) {
  bool all = true;
  for (int i = 0; i < skse.callbackCount; ++i) {
    if (strcmp(skse.namespaces[i], "quiverleaf") != 0) continue;
    all = skse.callbacks[i](movie, &movie->namespaceValue) && all;
  }
  return all;
}

void skse_clear_events(void) { skse.events[0] = '\0'; }
