/* "saveFile" writing real files below the runtime root: 8-bit texts byte for
 * byte, wide texts as UTF-16LE without a byte-order mark, replacing and
 * emptying existing files, names with directories. */
#include <windows.h>

#include <string.h>

#include "Cases.h"
#include "Expect.h"
#include "Files.h"
#include "PluginOutput.h"
#include "SaveFileCalls.h"
#include "Session.h"

/* Привет, then a line feed */
static const uint16_t wideText[] = {'a', 'b', 0x041F, 0x0440, 0x0438, 0x0432, 0x0435, 0x0442, '\n', 0};
static const unsigned char wideBytes[] = {0x61, 0x00, 0x62, 0x00, 0x1F, 0x04, 0x40, 0x04, 0x38,
                                          0x04, 0x32, 0x04, 0x35, 0x04, 0x42, 0x04, 0x0A, 0x00};

void case_save_file(const char* dllPath) {
  static GameMovie movie;
  if (!start_session(dllPath, &movie)) return;

  /* The first save finds the runtime root and logs it, in the file only. */
  GameValue args[2] = {runtime_string("x.txt"), runtime_string("abc")};
  expect_saved(&movie, args, 2, SAVE_FROM_UNDEFINED, "x.txt");
  expect_root_file("x.txt", "abc", 3);

  /* No newline translation; bytes above 0x7F as they are. */
  const char lines[] = "one\ntwo\r\n\xD0\x9F\xFF";
  args[0] = runtime_string("lines.txt");
  args[1] = runtime_string(lines);
  expect_saved(&movie, args, 2, SAVE_FROM_UNDEFINED, "lines.txt");
  expect_root_file("lines.txt", lines, sizeof lines - 1);

  args[0] = runtime_string("wide.txt");
  args[1] = runtime_wide_string(wideText);
  expect_saved(&movie, args, 2, SAVE_FROM_UNDEFINED, "wide.txt");
  expect_root_file("wide.txt", wideBytes, sizeof wideBytes);

  /* Managed values are read through their payload's text pointer; a managed
   * result is released before it is overwritten. */
  args[0] = runtime_managed_string("managed.txt");
  args[1] = runtime_managed_wide_string(wideText);
  expect_saved(&movie, args, 2, SAVE_FROM_MANAGED_RESULT, "managed.txt");
  expect_root_file("managed.txt", wideBytes, sizeof wideBytes);

  /* An existing longer file is replaced entirely; an empty text empties one. */
  char old[200];
  memset(old, 'z', sizeof old);
  write_file(root_path("long.txt"), old, sizeof old);
  write_file(root_path("empty.txt"), old, sizeof old);
  args[0] = runtime_string("long.txt");
  args[1] = runtime_string("short");
  expect_saved(&movie, args, 2, SAVE_FROM_UNDEFINED, "long.txt");
  expect_root_file("long.txt", "short", 5);
  args[0] = runtime_string("empty.txt");
  args[1] = runtime_string("");
  expect_saved(&movie, args, 2, SAVE_FROM_UNDEFINED, "empty.txt");
  expect_root_file("empty.txt", "", 0);

  /* Names with directories below the root; either separator. */
  CreateDirectoryA(root_path("sub"), NULL);
  args[0] = runtime_string("sub\\inner.txt");
  args[1] = runtime_string("inner");
  expect_saved(&movie, args, 2, SAVE_FROM_UNDEFINED, "sub\\inner.txt");
  expect_root_file("sub\\inner.txt", "inner", 5);
  args[0] = runtime_string("sub/slash.txt");
  args[1] = runtime_string("slash");
  expect_saved(&movie, args, 2, SAVE_FROM_UNDEFINED, "sub/slash.txt");
  expect_root_file("sub\\slash.txt", "slash", 5);

  expect_no_temporaries(executable_directory());
  expect_no_temporaries(root_path("sub\\"));
  expect_true(!file_exists(PLUGIN_LOG_NAME "0"), "no fallback log while the plain name was free");
  expect_equal_number(runtimeRecords.allocationCount, 2, "UI heap allocations");
  check_plugin_output(PLUGIN_LOG_NAME);
}
