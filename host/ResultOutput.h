#pragma once
// The result of a call as scripts read it: standard output and exit status.

#include "host/PluginSession.h"

// Prints the result (a string as its bytes or in hexadecimal, a boolean as
// true or false, anything else on standard error) and returns the exit status.
int PrintResult(const CallResult& result, bool hex);
