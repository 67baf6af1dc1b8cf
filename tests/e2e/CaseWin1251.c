/* "Win1251ToUTF8": Russian text mis-decoded as Latin-1 repaired, correct text
 * returned unchanged, everything else left undefined; nothing logged. */
#include <stdio.h>
#include <string.h>

#include "Cases.h"
#include "Expect.h"
#include "PluginOutput.h"
#include "Session.h"

typedef struct Example {
  const char* what;
  const char* input;
  const char* expected;
} Example;

#define PRIVET "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"

static const Example examples[] = {
    {"correct Privet unchanged", PRIVET, PRIVET},
    {"mis-decoded Privet", "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2", PRIVET},
    {"mis-decoded eshchyo", "\xC3\xA5\xC3\xB9\xC2\xB8", "\xD0\xB5\xD1\x89\xD1\x91"},
    {"ASCII unchanged", "abc", "abc"},
    {"0x98 dropped", "ab\xC2\x98" "cd", "abcd"},
    {"en dash", "\xC2\x96", "\xE2\x80\x93"},
    {"euro sign", "\xC2\x88", "\xE2\x82\xAC"},
    {"numero sign and a digit", "\xC2\xB9" "5", "\xE2\x84\x96" "5"},
    {"Yo alone is not recognised", "\xD0\x81", "\xD0\x83"},
    {"yo alone is not recognised", "\xD1\x91", "\xD0\xA1"},
    {"Yo with zhe unchanged", "\xD0\x81\xD0\xB6", "\xD0\x81\xD0\xB6"},
    {"dash before Pe shifts the walk", "\xE2\x80\x94\xD0\x9F", "\xD0\x82\xD1\x92\xD0\x90"},
    {"Pe before dash unchanged", "\xD0\x9F\xE2\x80\x94", "\xD0\x9F\xE2\x80\x94"},
    {"lone lead byte at the end", "a\xC3", "a\xD0\x90"},
};

static const uint16_t widePrivet[] = {0x041F, 0x0440, 0x0438, 0x0432, 0x0435, 0x0442, 0};

static void expect_repair(GameMovie* movie, GameValue argument, const char* expected, const char* what) {
  GameValue result;
  if (!expect_true(runtime_call_member(movie, "Win1251ToUTF8", &argument, 1, NULL, &result), "%s: call", what)) {
    return;
  }
  if (!expect_string_result(&result, expected, what)) return;
  const char* input = (argument.kindWord & KIND_MANAGED) ? *argument.payload.managedText : argument.payload.text;
  expect_true(result.payload.text != input, "%s: the result is a new text", what);
}

static void expect_undefined(GameMovie* movie, GameValue* args, uint32_t argCount, const char* what) {
  GameValue result;
  if (expect_true(runtime_call_member(movie, "Win1251ToUTF8", args, argCount, NULL, &result), "%s: call", what)) {
    expect_undefined_result(&result, what);
  }
}

void case_win1251(const char* dllPath) {
  static GameMovie movie;
  if (!start_session(dllPath, &movie)) return;

  for (size_t i = 0; i < sizeof examples / sizeof examples[0]; ++i) {
    expect_repair(&movie, runtime_string(examples[i].input), examples[i].expected, examples[i].what);
  }

  /* A managed input is read through its text pointer and left as it was. */
  char managed[] = "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2";
  expect_repair(&movie, runtime_managed_string(managed), PRIVET, "managed input");
  expect_equal_text(managed, "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2", "managed input afterwards");

  /* A script may hand the previous result straight back. */
  GameValue argument = runtime_string(examples[1].input);
  GameValue result;
  runtime_call_member(&movie, "Win1251ToUTF8", &argument, 1, NULL, &result);
  GameValue again = runtime_string(result.payload.text);
  runtime_call_member(&movie, "Win1251ToUTF8", &again, 1, NULL, &result);
  expect_string_result(&result, PRIVET, "previous result passed back");

  /* A managed result is released before it is overwritten. */
  const GameValue initial = runtime_managed_object();
  const int releasesBefore = runtimeRecords.releaseCount;
  argument = runtime_string("abc");
  runtime_call_member(&movie, "Win1251ToUTF8", &argument, 1, &initial, &result);
  expect_string_result(&result, "abc", "from a managed result");
  expect_equal_number(runtimeRecords.releaseCount, releasesBefore + 1, "releases of a managed result");

  GameValue args[2] = {runtime_string("abc"), runtime_string("abc")};
  expect_undefined(&movie, args, 2, "two arguments");
  args[0] = runtime_string("");
  expect_undefined(&movie, args, 1, "empty string");
  expect_undefined(&movie, args, 0, "no argument");
  args[0] = runtime_wide_string(widePrivet);
  expect_undefined(&movie, args, 1, "wide string");
  args[0] = runtime_managed_wide_string(widePrivet);
  expect_undefined(&movie, args, 1, "managed wide string");
  args[0] = runtime_number(42);
  expect_undefined(&movie, args, 1, "number");
  args[0] = runtime_boolean(true);
  expect_undefined(&movie, args, 1, "boolean");
  args[0] = runtime_string(NULL);
  expect_undefined(&movie, args, 1, "null string");

  expect_equal_number(runtimeRecords.allocationCount, 2, "UI heap allocations");
  check_plugin_output(PLUGIN_LOG_NAME);
}
