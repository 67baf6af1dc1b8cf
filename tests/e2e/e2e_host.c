/* A stand-in for the game with the script extender: loads the plug-in DLL
 * as they do and runs one case against it.
 *   e2e_host.exe CASE DLLPATH
 * Exit status 0 when every check of the case passed. */
#include <stdbool.h>
#include <stdio.h>
#include <string.h>

#include "Cases.h"
#include "Expect.h"
#include "PluginOutput.h"

typedef struct Case {
  const char* name;
  void (*run)(const char* dllPath);
} Case;

static const Case cases[] = {
    {"query_refusals", case_query_refusals},
    {"load_and_register", case_load_and_register},
    {"save_file", case_save_file},
    {"save_file_refusals", case_save_file_refusals},
    {"win1251", case_win1251},
    {"log_fallback", case_log_fallback},
};

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: e2e_host CASE DLLPATH\n");
    return 2;
  }
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    if (strcmp(argv[1], cases[i].name) != 0) continue;
    plugin_output_capture_console();
    cases[i].run(argv[2]);
    const bool passed = expect_failures() == 0 && expect_checks() > 0;
    /* The test requires this line: a crash under Wine can end with status 0. */
    if (passed) fprintf(stderr, "e2e case %s passed (%d checks)\n", cases[i].name, expect_checks());
    else fprintf(stderr, "e2e case %s: %d of %d checks failed\n", cases[i].name, expect_failures(), expect_checks());
    return passed ? 0 : 1;
  }
  fprintf(stderr, "no case named %s\n", argv[1]);
  return 2;
}
