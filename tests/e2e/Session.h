/* The start every case shares: the UI heap in place, the plug-in loaded and
 * accepted as the script extender does it, and one movie set up. */
#ifndef E2E_SESSION_H
#define E2E_SESSION_H

#include <stdbool.h>

#include "GameUiRuntime.h"

/* Adds the expected log lines of the start; false (with failures reported)
 * when the plug-in did not come up. */
bool start_session(const char* dllPath, GameMovie* movie);

#endif
