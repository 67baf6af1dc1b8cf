/* What the repair objects take from the C and C++ runtimes and from the UI
 * runtime, for a freestanding program: a bump heap that never frees. */
#include <stddef.h>
#include <stdint.h>

#include "Freestanding.h"

/* Named by the objects' unwind tables; nothing here throws. */
void __gxx_personality_v0(void) {}

const char nothrow_tag __asm__("__ZSt7nothrow") = 0;

void* new_array(size_t size, const void* tag) __asm__("__ZnajRKSt9nothrow_t");
void* new_array(size_t size, const void* tag) {
  (void)tag;
  static char* free_at;
  static size_t left;
  size = (size + 15) & ~(size_t)15;
  if (size > left) {
    const size_t pages = (size + (64u << 20)) / kPage;
    free_at = guarded_pages(pages);
    left = pages * kPage;
  }
  char* const block = free_at;
  free_at += size;
  left -= size;
  return block;
}

void delete_array(void* block) __asm__("__ZdaPv");
void delete_array(void* block) { (void)block; }

int atexit(void (*function)(void)) {
  (void)function;
  return 0;
}

void* memmove(void* out, const void* in, size_t size) {
  char* const to = out;
  const char* const from = in;
  if (to < from) {
    for (size_t at = 0; at < size; ++at) to[at] = from[at];
  } else {
    for (size_t at = size; at-- > 0;) to[at] = from[at];
  }
  return out;
}

void release_value(void* value) __asm__("__ZN10ui_runtime12ReleaseValueER7UiValue");
void release_value(void* value) { (void)value; }
