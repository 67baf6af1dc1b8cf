/* The log's first fallback name: when another writer holds
 * "skse_quiverleaf_extensions.log" before the DLL loads, the plug-in logs to
 * "skse_quiverleaf_extensions.log0" and leaves the held file alone. */
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "Cases.h"
#include "Expect.h"
#include "Files.h"
#include "PluginOutput.h"
#include "SaveFileCalls.h"
#include "Session.h"

static const char heldContent[] = "held by another writer\r\n";

void case_log_fallback(const char* dllPath) {
  HANDLE holder = CreateFileA(PLUGIN_LOG_NAME, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
  DWORD written = 0;
  if (!expect_true(holder != INVALID_HANDLE_VALUE, "the plain log name is held") ||
      !expect_true(WriteFile(holder, heldContent, sizeof heldContent - 1, &written, NULL) != 0, "written")) {
    return;
  }

  static GameMovie movie;
  if (start_session(dllPath, &movie)) {
    GameValue args[2] = {runtime_string("fallback.txt"), runtime_string("text")};
    expect_saved(&movie, args, 2, SAVE_FROM_UNDEFINED, "fallback.txt");
  }

  check_plugin_output(PLUGIN_LOG_NAME "0");
  size_t size = 0;
  char* held = read_file(PLUGIN_LOG_NAME, &size);
  expect_equal_bytes(held ? held : "", held ? size : 0, heldContent, sizeof heldContent - 1, "the held log");
  free(held);
  expect_true(!file_exists(PLUGIN_LOG_NAME "1"), "only the first fallback name is used");
  CloseHandle(holder);
}
