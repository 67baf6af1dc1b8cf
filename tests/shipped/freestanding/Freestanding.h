/* What a freestanding static i386 program around the shipped build's repair
 * objects needs from Linux: output, exit, pages with unmapped neighbours and
 * its command line. Run by qemu-i386, which runs 32-bit code where the
 * kernel does not. */
#pragma once
#include <stddef.h>
#include <stdint.h>

enum { kPage = 4096 };

/* A Linux i386 system call; the sixth argument (EBP) is always 0 here. */
static inline long system_call(long number, long a, long b, long c, long d, long e) {
  long result;
  __asm__ volatile("push %%ebp\n\txor %%ebp, %%ebp\n\tint $0x80\n\tpop %%ebp"
                   : "=a"(result)
                   : "a"(number), "b"(a), "c"(b), "d"(c), "S"(d), "D"(e)
                   : "memory");
  return result;
}

static inline void write_bytes(const char* bytes, size_t length) { system_call(4, 1, (long)bytes, (long)length, 0, 0); }

static inline void write_text(const char* text) {
  size_t length = 0;
  while (text[length]) ++length;
  write_bytes(text, length);
}

static inline void write_number(unsigned long value) {
  char digits[12];
  int at = sizeof digits - 1;
  digits[at] = '\0';
  do digits[--at] = (char)('0' + value % 10);
  while ((value /= 10) != 0);
  write_text(digits + at);
}

static inline __attribute__((noreturn)) void exit_with(int status) {
  for (;;) system_call(1, status, 0, 0, 0, 0);
}

/* `pages` readable and writable pages between two unmapped ones. */
static inline char* guarded_pages(size_t pages) {
  const long size = (long)((pages + 2) * kPage);
  const long mapped = system_call(192, 0, size, 3 /* read, write */, 0x22 /* private, anonymous */, -1);
  if (mapped < 0 && mapped > -4096) {
    write_text("FAIL: mmap2\n");
    exit_with(1);
  }
  char* const start = (char*)mapped;
  system_call(125, (long)start, kPage, 0, 0, 0);
  system_call(125, (long)(start + (pages + 1) * kPage), kPage, 0, 0, 0);
  return start + kPage;
}

static inline void copy_bytes(char* out, const char* in, size_t size) {
  for (size_t at = 0; at < size; ++at) out[at] = in[at];
}

static inline int same_bytes(const char* a, const char* b, size_t size) {
  for (size_t at = 0; at < size; ++at) {
    if (a[at] != b[at]) return 0;
  }
  return 1;
}

static inline int same_text(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return 0;
    if (*a == 0) return 1;
  }
}

static inline unsigned long parse_number(const char* text) {
  unsigned long value = 0;
  while (*text >= '0' && *text <= '9') value = value * 10 + (unsigned long)(*text++ - '0');
  return value;
}

/* Called by Start.S with the command line. */
void program_main(int argc, char** argv);
