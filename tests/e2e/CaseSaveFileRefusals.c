/* "saveFile" refusing: argument count and kinds, null texts, names that
 * leave the runtime root, a missing directory, a read-only file and a file
 * that another opener holds. Every refusal answers false, logs one line and
 * leaves existing files as they were. */
#include <windows.h>

#include <stdio.h>

#include "Cases.h"
#include "Expect.h"
#include "Files.h"
#include "PluginOutput.h"
#include "SaveFileCalls.h"
#include "Session.h"

static const uint16_t wideName[] = {'w', '.', 't', 'x', 't', 0};

static void expect_argument_refusals(GameMovie* movie) {
  GameValue args[3] = {runtime_string("a.txt"), runtime_string("text"), runtime_string("extra")};
  expect_refused(movie, args, 1, SAVE_FROM_MANAGED_RESULT, "SaveFile: Bad number of arguments: 1, expected 2");
  expect_refused(movie, args, 3, SAVE_FROM_UNDEFINED, "SaveFile: Bad number of arguments: 3, expected 2");
  expect_refused(movie, args, 0, SAVE_FROM_UNDEFINED, "SaveFile: Bad number of arguments: 0, expected 2");

  /* The first argument's whole kind word is shown, managed flag included. */
  args[0] = runtime_wide_string(wideName);
  expect_refused(movie, args, 2, SAVE_FROM_UNDEFINED, "SaveFile: First argument is not a string, type: 5");
  args[0] = runtime_managed_wide_string(wideName);
  expect_refused(movie, args, 2, SAVE_FROM_UNDEFINED, "SaveFile: First argument is not a string, type: 69");
  args[0] = runtime_boolean(true);
  expect_refused(movie, args, 2, SAVE_FROM_UNDEFINED, "SaveFile: First argument is not a string, type: 2");

  args[0] = runtime_string("a.txt");
  args[1] = runtime_boolean(true);
  expect_refused(movie, args, 2, SAVE_FROM_UNDEFINED, "SaveFile: Second argument is not a string or wide string");
  args[1] = runtime_number(1.5);
  expect_refused(movie, args, 2, SAVE_FROM_UNDEFINED, "SaveFile: Second argument is not a string or wide string");

  args[0] = runtime_string(NULL);
  args[1] = runtime_string("text");
  expect_refused(movie, args, 2, SAVE_FROM_UNDEFINED, "SaveFile: Argument string is null");
  args[0] = runtime_string("a.txt");
  args[1] = runtime_managed_string(NULL);
  expect_refused(movie, args, 2, SAVE_FROM_UNDEFINED, "SaveFile: Argument string is null");
  expect_true(!file_exists(root_path("a.txt")), "a refused call writes nothing");
}

static void expect_name_refused(GameMovie* movie, const char* name) {
  GameValue args[2] = {runtime_string(name), runtime_string("escaped")};
  char message[512];
  snprintf(message, sizeof message, "SaveFile: File name not allowed: %s", name);
  expect_refused(movie, args, 2, SAVE_FROM_UNDEFINED, message);
}

static void expect_open_refused(GameMovie* movie, const char* name) {
  GameValue args[2] = {runtime_string(name), runtime_string("new")};
  char message[512];
  snprintf(message, sizeof message, "SaveFile: Could not open file for writting, path: %s", root_path(name));
  expect_refused_at_file(movie, args, 2, message);
}

void case_save_file_refusals(const char* dllPath) {
  static GameMovie movie;
  if (!start_session(dllPath, &movie)) return;

  expect_argument_refusals(&movie);

  expect_name_refused(&movie, "..\\x.txt");
  expect_name_refused(&movie, "sub\\..\\..\\x.txt");
  expect_name_refused(&movie, "");
  expect_name_refused(&movie, "C:\\x.txt");
  expect_true(!file_exists(root_path("..\\x.txt")), "nothing written above the runtime root");

  expect_open_refused(&movie, "missing\\z.txt");
  expect_true(!file_exists(root_path("missing")), "no directory created");

  write_file(root_path("readonly.txt"), "old", 3);
  SetFileAttributesA(root_path("readonly.txt"), FILE_ATTRIBUTE_READONLY);
  expect_open_refused(&movie, "readonly.txt");
  SetFileAttributesA(root_path("readonly.txt"), FILE_ATTRIBUTE_NORMAL);
  expect_root_file("readonly.txt", "old", 3);

  /* Another opener that shares neither writing nor deleting. */
  write_file(root_path("held.txt"), "old", 3);
  HANDLE holder = CreateFileA(root_path("held.txt"), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
  expect_true(holder != INVALID_HANDLE_VALUE, "held.txt is held");
  expect_open_refused(&movie, "held.txt");
  CloseHandle(holder);
  expect_root_file("held.txt", "old", 3);
  GameValue args[2] = {runtime_string("held.txt"), runtime_string("new")};
  expect_saved(&movie, args, 2, SAVE_FROM_UNDEFINED, "held.txt once released");
  expect_root_file("held.txt", "new", 3);

  expect_no_temporaries(executable_directory());
  check_plugin_output(PLUGIN_LOG_NAME);
}
