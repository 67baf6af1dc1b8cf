/* The query's refusals: each names its reason, leaves the information record
 * filled and comes after the plug-in handle query. */
#include <windows.h>

#include "Cases.h"
#include "Expect.h"
#include "PluginOutput.h"
#include "ScriptExtender.h"

static void expect_info_filled(const char* when) {
  expect_equal_number(skse.info.infoVersion, 1, when);
  expect_equal_text(skse.info.name, "skse_quiverleaf", when);
  expect_equal_number(skse.info.version, 3, when);
  /* The name must live as long as the library: it lies in the DLL's image. */
  MEMORY_BASIC_INFORMATION region;
  expect_true(VirtualQuery(skse.info.name, &region, sizeof region) != 0 &&
                  region.AllocationBase == (void*)skse.module,
              "%s: the plug-in name lies outside the DLL's image", when);
}

static void expect_refusal(const char* when, const char* hostCalls, const char* message) {
  skse_clear_events();
  expect_log_line(3, "SKSEPlugin_Query start");
  expect_log_line(3, "%s", message);
  expect_true(!skse_query(), "%s: the query refuses", when);
  expect_info_filled(when);
  expect_equal_text(skse.events, hostCalls, when);
}

void case_query_refusals(const char* dllPath) {
  runtime_install_heap(true);
  if (!expect_true(skse_open_plugin(dllPath), "the plug-in loads with its two exports")) return;

  skse_reset_settings();
  skse.runtimeVersion = 0x09000000;
  skse.isEditor = 1;
  expect_refusal("another runtime, in the editor", "GetPluginHandle;",
                 "Quiverleaf_extensions compatible with only Skyrim 1.8.151.0");

  skse_reset_settings();
  skse.isEditor = 1;
  expect_refusal("the editor", "GetPluginHandle;", "Loaded in editor, marking as incompatible");

  skse_reset_settings();
  skse.offerUiInterface = false;
  expect_refusal("no UI interface", "GetPluginHandle;QueryInterface 1;", "Couldn't get scaleform interface");

  skse_reset_settings();
  skse.uiInterfaceVersion = 0;
  expect_refusal("UI interface version 0", "GetPluginHandle;QueryInterface 1;",
                 "Scaleform interface is too old (0 expected 1)");

  expect_equal_number(skse.callbackCount, 0, "callbacks registered");
  expect_equal_number(runtimeRecords.allocationCount, 0, "UI heap allocations");
  check_plugin_output(PLUGIN_LOG_NAME);
}
