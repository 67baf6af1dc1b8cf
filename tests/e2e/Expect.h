/* Checks of a case: each failure is reported on standard error with what
 * was expected; the case fails when any check failed. */
#ifndef E2E_EXPECT_H
#define E2E_EXPECT_H

#include <stdbool.h>
#include <stddef.h>

#include "GameAbi.h"

bool expect_true(bool condition, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
bool expect_equal_number(long long actual, long long expected, const char* what);
bool expect_equal_text(const char* actual, const char* expected, const char* what);
bool expect_equal_bytes(const void* actual, size_t actualSize, const void* expected, size_t expectedSize,
                        const char* what);

/* Result values. */
bool expect_boolean_result(const GameValue* result, bool expected, const char* what);
bool expect_undefined_result(const GameValue* result, const char* what);
/* An unmanaged string whose text is the expected bytes (zero-terminated). */
bool expect_string_result(const GameValue* result, const char* expected, const char* what);

int expect_checks(void);
int expect_failures(void);

#endif
