#include "PluginOutput.h"

#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Expect.h"
#include "Files.h"

#define OUTPUT_CAPACITY 16384

static char expectedLog[OUTPUT_CAPACITY];
static char expectedConsole[OUTPUT_CAPACITY];

static void append(char* buffer, const char* text) {
  strncat(buffer, text, OUTPUT_CAPACITY - strlen(buffer) - 1);
}

void plugin_output_capture_console(void) {
  if (!freopen(PLUGIN_CONSOLE_CAPTURE, "w", stdout)) {
    expect_true(false, "standard output cannot be captured");
    return;
  }
  _setmode(_fileno(stdout), _O_BINARY);
}

void expect_log_line(int level, const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (level <= 5) {
    append(expectedLog, line);
    append(expectedLog, "\r\n");
  }
  if (level <= 3) {
    append(expectedConsole, line);
    append(expectedConsole, "\n");
  }
}

static void compare_file(const char* path, const char* expected, const char* what) {
  size_t size = 0;
  char* actual = read_file(path, &size);
  if (!expect_true(actual != NULL, "%s: %s cannot be read", what, path)) return;
  if (!expect_equal_bytes(actual, size, expected, strlen(expected), what)) {
    fprintf(stderr, "  --- got:\n%s  --- expected:\n%s  ---\n", actual, expected);
  }
  free(actual);
}

void check_plugin_output(const char* logName) {
  fflush(stdout);
  compare_file(logName, expectedLog, "log file");
  compare_file(PLUGIN_CONSOLE_CAPTURE, expectedConsole, "console echo");
}
