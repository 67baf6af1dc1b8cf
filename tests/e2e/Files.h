/* Files as the game's process sees them (Windows paths). */
#ifndef E2E_FILES_H
#define E2E_FILES_H

#include <stdbool.h>
#include <stddef.h>

/* The whole file, zero-terminated for convenience (free it); null when it
 * cannot be read. Opened with every sharing flag, so a file the plug-in holds
 * open for writing can be read. */
char* read_file(const char* path, size_t* size);
bool write_file(const char* path, const void* bytes, size_t size);
bool file_exists(const char* path);
/* The directory of the executable with its trailing backslash: the runtime
 * root the plug-in is to find. */
const char* executable_directory(void);
/* Names of the entries of a directory, sorted, joined by ';'. */
void list_directory(const char* directory, char* out, size_t outSize);

#endif
