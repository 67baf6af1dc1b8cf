#include "Session.h"

#include "Expect.h"
#include "PluginOutput.h"
#include "ScriptExtender.h"

bool start_session(const char* dllPath, GameMovie* movie) {
  runtime_install_heap(true);
  skse_reset_settings();
  if (!expect_true(skse_open_plugin(dllPath), "the plug-in loads with its two exports")) return false;

  expect_log_line(3, "SKSEPlugin_Query start");
  expect_log_line(3, "SKSEPlugin_Query done");
  if (!expect_true(skse_query(), "the query accepts runtime 1.8.151.0")) return false;
  expect_log_line(3, "SKSEPlugin_Load start");
  expect_log_line(3, "SKSEPlugin_Load done");
  if (!expect_true(skse_load(), "the load returns true")) return false;

  runtime_init_movie(movie, KIND_DISPLAY_OBJECT | KIND_MANAGED, true);
  expect_log_line(3, "RegisterScaleform start");
  expect_log_line(3, "RegisterScaleform done");
  return expect_true(skse_set_up_movie(movie), "the callback returns true");
}
