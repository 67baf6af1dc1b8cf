#include "Files.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

char* read_file(const char* path, size_t* size) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return NULL;
  LARGE_INTEGER length;
  char* bytes = NULL;
  DWORD read = 0;
  if (GetFileSizeEx(file, &length) && length.QuadPart < (1 << 24)) {
    bytes = malloc((size_t)length.QuadPart + 1);
    if (bytes && !ReadFile(file, bytes, (DWORD)length.QuadPart, &read, NULL)) read = 0;
  }
  CloseHandle(file);
  if (!bytes) return NULL;
  bytes[read] = '\0';
  if (size) *size = read;
  return bytes;
}

bool write_file(const char* path, const void* bytes, size_t size) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, (DWORD)size, &written, NULL);
  CloseHandle(file);
  return ok && written == size;
}

bool file_exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

const char* executable_directory(void) {
  static char directory[MAX_PATH];
  if (!directory[0]) {
    const DWORD length = GetModuleFileNameA(NULL, directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return "";
    char* lastBackslash = strrchr(directory, '\\');
    if (lastBackslash) lastBackslash[1] = '\0';
  }
  return directory;
}

static int compare_names(const void* left, const void* right) {
  return strcmp((const char*)left, (const char*)right);
}

void list_directory(const char* directory, char* out, size_t outSize) {
  char names[64][MAX_PATH];
  int count = 0;
  char pattern[MAX_PATH];
  snprintf(pattern, sizeof pattern, "%s*", directory);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
      if (count < 64) strcpy(names[count++], found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  qsort(names, (size_t)count, sizeof names[0], compare_names);
  out[0] = '\0';
  for (int i = 0; i < count; ++i) {
    if (i > 0) strncat(out, ";", outSize - strlen(out) - 1);
    strncat(out, names[i], outSize - strlen(out) - 1);
  }
}
