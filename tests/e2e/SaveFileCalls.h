/* Calls of "saveFile" with the log lines each is to produce, and checks of
 * the files below the runtime root (the executable's directory). */
#ifndef E2E_SAVE_FILE_CALLS_H
#define E2E_SAVE_FILE_CALLS_H

#include <stdbool.h>
#include <stddef.h>

#include "GameUiRuntime.h"

/* runtime root + name, in a buffer that the next call reuses. */
const char* root_path(const char* name);

typedef enum SaveStart {
  SAVE_FROM_UNDEFINED,      /* the result starts undefined */
  SAVE_FROM_MANAGED_RESULT, /* it starts managed and is to be released first */
} SaveStart;

/* A call answering true: "SaveFile start", the runtime root line on the
 * first lookup of the process, "SaveFile done". */
void expect_saved(GameMovie* movie, GameValue* args, uint32_t argCount, SaveStart start, const char* what);
/* A call answering false with `message`, refused before the runtime root is
 * looked up. */
void expect_refused(GameMovie* movie, GameValue* args, uint32_t argCount, SaveStart start, const char* message);
/* A call answering false with `message` once the runtime root was looked up. */
void expect_refused_at_file(GameMovie* movie, GameValue* args, uint32_t argCount, const char* message);

void expect_root_file(const char* name, const void* bytes, size_t size);
/* No temporary file of a replacement stays behind in the directory. */
void expect_no_temporaries(const char* directory);

#endif
