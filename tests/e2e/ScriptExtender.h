/* The script extender's side: it loads the plug-in DLL with LoadLibraryA,
 * finds the two undecorated exports, fills the host interface record, answers
 * the interface and handle queries, keeps the UI callbacks registered at
 * load and calls them for each movie. */
#ifndef E2E_SCRIPT_EXTENDER_H
#define E2E_SCRIPT_EXTENDER_H

#include <windows.h>

#include "GameAbi.h"
#include "GameUiRuntime.h"

#define SKSE_PLUGIN_HANDLE 0x2Au
#define SKSE_MAX_CALLBACKS 4

typedef struct ScriptExtender {
  HMODULE module;
  QueryEntry query;
  LoadEntry load;

  /* Set before a query. */
  uint32_t runtimeVersion;
  uint32_t isEditor;
  bool offerUiInterface;
  uint32_t uiInterfaceVersion;
  bool registerResult;

  HostInterface record;
  UiInterface uiInterface;
  PluginInfo info;
  char events[512]; /* "GetPluginHandle;QueryInterface 1;Register quiverleaf;" */
  char namespaces[SKSE_MAX_CALLBACKS][32];
  UiCallback callbacks[SKSE_MAX_CALLBACKS];
  int callbackCount;
} ScriptExtender;

/* One host per process, as in the game. */
extern ScriptExtender skse;

/* Loads the DLL (a Windows path, or a Unix one that Wine reaches through Z:)
 * and resolves SKSEPlugin_Query and SKSEPlugin_Load. Reports what failed. */
bool skse_open_plugin(const char* dllPath);
/* The settings of a game the plug-in accepts: runtime 1.8.151.0, no editor,
 * UI interface version 1. */
void skse_reset_settings(void);
/* Fills the records (the information record with junk first) and queries. */
bool skse_query(void);
bool skse_load(void);
/* Calls every callback registered under "quiverleaf"; false when one refused. */
bool skse_set_up_movie(GameMovie* movie);
void skse_clear_events(void);

#endif
