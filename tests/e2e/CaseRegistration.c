/* Load and the per-movie callback: one handler object per class for the
 * whole process, handed to every CreateFunction; members set with the
 * display-object flag; managed temporaries released. */
#include <stdio.h>

#include "Cases.h"
#include "Expect.h"
#include "PluginOutput.h"
#include "ScriptExtender.h"

#define SETUPS 3

static void set_up(GameMovie* movie) {
  expect_log_line(3, "RegisterScaleform start");
  expect_log_line(3, "RegisterScaleform done");
  expect_true(skse_set_up_movie(movie), "the callback returns true");
}

static void expect_handlers(void** saveFile, void** repair) {
  expect_equal_number(runtimeRecords.allocationCount, 2, "UI heap allocations: one per handler class");
  for (int i = 0; i < runtimeRecords.allocationCount; ++i) {
    expect_equal_number((long long)runtimeRecords.allocations[i].size, sizeof(HandlerObject), "handler size");
    expect_equal_number((long long)runtimeRecords.allocations[i].flags, 0, "allocation flags");
  }
  *saveFile = runtimeRecords.allocations[0].block;
  *repair = runtimeRecords.allocations[1].block;
  const HandlerObject* saveHandler = (const HandlerObject*)*saveFile;
  const HandlerObject* repairHandler = (const HandlerObject*)*repair;
  expect_equal_number(saveHandler->refCount, 1, "saveFile handler reference count");
  expect_equal_number(repairHandler->refCount, 1, "Win1251ToUTF8 handler reference count");
  expect_true(saveHandler->vtable != repairHandler->vtable, "each handler class has its own table");
}

void case_load_and_register(const char* dllPath) {
  runtime_install_heap(true);
  skse_reset_settings();
  skse.uiInterfaceVersion = 0x80000000u; /* compared unsigned: accepted */
  skse.registerResult = false;           /* the load does not look at it */
  if (!expect_true(skse_open_plugin(dllPath), "the plug-in loads with its two exports")) return;

  expect_log_line(3, "SKSEPlugin_Query start");
  expect_log_line(3, "SKSEPlugin_Query done");
  expect_true(skse_query(), "the query accepts UI interface version 0x80000000");
  expect_equal_text(skse.events, "GetPluginHandle;QueryInterface 1;", "host calls of the query");
  skse_clear_events();
  expect_log_line(3, "SKSEPlugin_Load start");
  expect_log_line(3, "SKSEPlugin_Load done");
  expect_true(skse_load(), "the load returns true though the registration answered false");
  expect_equal_text(skse.events, "Register quiverleaf;", "host calls of the load");
  expect_equal_number(runtimeRecords.allocationCount, 0, "UI heap allocations before any movie");

  /* The same movie twice, then a movie whose namespace object is a plain
   * object and whose function values come back unmanaged. */
  static GameMovie first, second;
  runtime_init_movie(&first, KIND_DISPLAY_OBJECT | KIND_MANAGED, true);
  runtime_init_movie(&second, KIND_OBJECT, false);
  GameMovie* const setups[SETUPS] = {&first, &first, &second};
  for (int i = 0; i < SETUPS; ++i) set_up(setups[i]);

  void* saveFile = NULL;
  void* repair = NULL;
  expect_handlers(&saveFile, &repair);

  if (!expect_equal_number(runtimeRecords.createCount, 2 * SETUPS, "CreateFunction calls")) return;
  if (!expect_equal_number(runtimeRecords.setMemberCount, 2 * SETUPS, "SetMember calls")) return;
  for (int i = 0; i < 2 * SETUPS; ++i) {
    char what[64];
    snprintf(what, sizeof what, "installation %d", i);
    const bool isSaveFile = i % 2 == 0;
    GameMovie* movie = setups[i / 2];
    const CreateFunctionEvent* create = &runtimeRecords.creates[i];
    const SetMemberEvent* set = &runtimeRecords.setMembers[i];
    expect_true(create->movie == movie, "%s: created on its movie", what);
    expect_true(create->handler == (isSaveFile ? saveFile : repair), "%s: the cached handler", what);
    expect_true(create->userData == NULL, "%s: no user data", what);
    expect_equal_number(create->outKindBefore, KIND_UNDEFINED, what);
    expect_equal_text(set->name, isSaveFile ? "saveFile" : "Win1251ToUTF8", what);
    expect_true(set->objectInterface == runtime_object_interface(), "%s: namespace's interface", what);
    expect_true(set->object == &movie->namespaceObject, "%s: namespace's payload", what);
    expect_true(set->function && set->function->handler == create->handler, "%s: the new function", what);
    expect_equal_number(set->isDisplayObject, movie == &first, what);
  }

  /* Only the first movie's function values were managed. */
  if (expect_equal_number(runtimeRecords.releaseCount, 4, "temporaries released")) {
    for (int i = 0; i < 4; ++i) {
      const ReleaseEvent* release = &runtimeRecords.releases[i];
      expect_true(release->objectInterface == runtime_object_interface(), "release %d: interface", i);
      expect_true(release->payload == runtimeRecords.setMembers[i].function, "release %d: payload", i);
      expect_true(release->value != &first.namespaceValue, "release %d: not the namespace object", i);
    }
  }
  expect_true(runtime_member(&first, "saveFile")->handler == saveFile, "first movie's saveFile");
  expect_true(runtime_member(&first, "Win1251ToUTF8")->handler == repair, "first movie's Win1251ToUTF8");

  /* The members of the second movie reach the handlers. */
  GameValue argument = runtime_string("\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2"); /* Ïðèâåò */
  GameValue result;
  expect_true(runtime_call_member(&second, "Win1251ToUTF8", &argument, 1, NULL, &result), "call");
  expect_string_result(&result, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "Win1251ToUTF8"); /* Привет */
  expect_log_line(3, "SaveFile start");
  expect_log_line(3, "SaveFile: Bad number of arguments: 1, expected 2");
  expect_true(runtime_call_member(&second, "saveFile", &argument, 1, NULL, &result), "call");
  expect_boolean_result(&result, false, "saveFile with one argument");

  expect_equal_number(runtimeRecords.allocationCount, 2, "UI heap allocations after the calls");
  expect_equal_number(runtimeRecords.freeCount, 0, "UI heap frees");
  check_plugin_output(PLUGIN_LOG_NAME);
}
