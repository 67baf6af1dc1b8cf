/* What the plug-in is expected to write: its log file (levels up to 5, each
 * line ending in CR LF) and its echo on standard output (levels up to 3, each
 * line ending in LF). Cases add lines as they go; the output is compared
 * byte for byte at the end. */
#ifndef E2E_PLUGIN_OUTPUT_H
#define E2E_PLUGIN_OUTPUT_H

#define PLUGIN_LOG_NAME "skse_quiverleaf_extensions.log"
#define PLUGIN_CONSOLE_CAPTURE "console.txt"

/* Sends standard output, which the plug-in shares with the executable, to
 * PLUGIN_CONSOLE_CAPTURE in binary mode. Call before the plug-in loads. */
void plugin_output_capture_console(void);

void expect_log_line(int level, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

/* Compares the named log file (in the current directory) and the captured
 * console with everything expected so far. */
void check_plugin_output(const char* logName);

#endif
