#include "Expect.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "GameUiRuntime.h"

static int checks;
static int failures;

static void print_bytes(const char* label, const void* bytes, size_t size) {
  const unsigned char* at = (const unsigned char*)bytes;
  fprintf(stderr, "  %s (%zu bytes):", label, size);
  for (size_t i = 0; i < size; ++i) fprintf(stderr, " %02X", at[i]);
  fprintf(stderr, "\n");
}

bool expect_true(bool condition, const char* format, ...) {
  ++checks;
  if (condition) return true;
  ++failures;
  va_list args;
  va_start(args, format);
  fprintf(stderr, "FAILED: ");
  vfprintf(stderr, format, args);
  fprintf(stderr, "\n");
  va_end(args);
  return false;
}

bool expect_equal_number(long long actual, long long expected, const char* what) {
  return expect_true(actual == expected, "%s: got %lld (0x%llX), expected %lld (0x%llX)", what, actual,
                     (unsigned long long)actual, expected, (unsigned long long)expected);
}

bool expect_equal_text(const char* actual, const char* expected, const char* what) {
  if (!actual) return expect_true(false, "%s: got a null text, expected \"%s\"", what, expected);
  return expect_true(strcmp(actual, expected) == 0, "%s: got \"%s\", expected \"%s\"", what, actual,
                     expected);
}

bool expect_equal_bytes(const void* actual, size_t actualSize, const void* expected, size_t expectedSize,
                        const char* what) {
  const bool same = actualSize == expectedSize && (actualSize == 0 || memcmp(actual, expected, actualSize) == 0);
  if (!expect_true(same, "%s: bytes differ", what)) {
    print_bytes("got", actual, actualSize);
    print_bytes("expected", expected, expectedSize);
  }
  return same;
}

bool expect_boolean_result(const GameValue* result, bool expected, const char* what) {
  if (!expect_equal_number(result->kindWord, KIND_BOOLEAN, what)) return false;
  bool ok = expect_equal_number(result->payload.boolean, expected ? 1 : 0, what);
  /* Only the payload's first byte is the plug-in's to write. */
  const unsigned char* payload = (const unsigned char*)&result->payload;
  const unsigned char* before = (const unsigned char*)&runtimeRecords.resultBeforeCall.payload;
  for (size_t i = 1; i < sizeof result->payload; ++i) {
    ok = expect_true(payload[i] == before[i], "%s: payload byte %zu was written", what, i) && ok;
  }
  return ok;
}

bool expect_undefined_result(const GameValue* result, const char* what) {
  return expect_equal_number(result->kindWord, KIND_UNDEFINED, what);
}

bool expect_string_result(const GameValue* result, const char* expected, const char* what) {
  if (!expect_equal_number(result->kindWord, KIND_STRING, what)) return false;
  const char* text = result->payload.text;
  if (!expect_true(text != NULL, "%s: null text", what)) return false;
  return expect_equal_bytes(text, strlen(text) + 1, expected, strlen(expected) + 1, what);
}

int expect_checks(void) { return checks; }
int expect_failures(void) { return failures; }
