#include "SaveFileCalls.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Expect.h"
#include "Files.h"
#include "PluginOutput.h"

const char* root_path(const char* name) {
  static char path[MAX_PATH];
  snprintf(path, sizeof path, "%s%s", executable_directory(), name);
  return path;
}

/* The root is found once per process, by the first call that needs it. */
static void expect_root_lookup(void) {
  static bool found;
  if (!found) expect_log_line(5, "runtime root = %s", executable_directory());
  found = true;
}

static void call(GameMovie* movie, GameValue* args, uint32_t argCount, SaveStart start, bool expected,
                 const char* what) {
  const GameValue managed = runtime_managed_object();
  const GameValue* initial = start == SAVE_FROM_MANAGED_RESULT ? &managed : NULL;
  const int releasesBefore = runtimeRecords.releaseCount;
  GameValue result;
  if (!expect_true(runtime_call_member(movie, "saveFile", args, argCount, initial, &result),
                   "%s: saveFile is a member", what)) {
    return;
  }
  expect_boolean_result(&result, expected, what);
  if (initial && expect_equal_number(runtimeRecords.releaseCount, releasesBefore + 1, what)) {
    const ReleaseEvent* release = &runtimeRecords.releases[releasesBefore];
    expect_true(release->value == &result && release->objectInterface == managed.objectInterface &&
                    release->payload == managed.payload.object,
                "%s: the managed result was released with its interface and payload", what);
  }
}

void expect_saved(GameMovie* movie, GameValue* args, uint32_t argCount, SaveStart start, const char* what) {
  expect_log_line(3, "SaveFile start");
  expect_root_lookup();
  expect_log_line(3, "SaveFile done");
  call(movie, args, argCount, start, true, what);
}

void expect_refused(GameMovie* movie, GameValue* args, uint32_t argCount, SaveStart start, const char* message) {
  expect_log_line(3, "SaveFile start");
  expect_log_line(3, "%s", message);
  call(movie, args, argCount, start, false, message);
}

void expect_refused_at_file(GameMovie* movie, GameValue* args, uint32_t argCount, const char* message) {
  expect_log_line(3, "SaveFile start");
  expect_root_lookup();
  expect_log_line(3, "%s", message);
  call(movie, args, argCount, SAVE_FROM_UNDEFINED, false, message);
}

void expect_root_file(const char* name, const void* bytes, size_t size) {
  size_t actualSize = 0;
  char* actual = read_file(root_path(name), &actualSize);
  if (!expect_true(actual != NULL, "%s exists below the runtime root", name)) return;
  expect_equal_bytes(actual, actualSize, bytes, size, name);
  free(actual);
}

void expect_no_temporaries(const char* directory) {
  char listing[4096];
  list_directory(directory, listing, sizeof listing);
  expect_true(strstr(listing, ".quiverleaf-tmp") == NULL && strstr(listing, "~ql") == NULL,
              "temporary files left in %s: %s", directory, listing);
}
