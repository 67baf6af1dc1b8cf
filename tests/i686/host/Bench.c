/* Times Win1251ToUTF8 on the shipped DLL through the game's virtual call,
 * against an inlined copy of the same bytes (msvcrt's memcpy under Wine is
 * far slower than the machine): what the repair costs on the real target.
 * Figures only; nothing here passes or fails on time. */
#include "Host.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kMiB = 1 << 20, kRounds = 31, kShortCallsPerRound = 10000 };

static void copy_words(void* to, const void* from, size_t bytes) {
  size_t words = bytes / 4;
  __asm__ volatile("rep movsl" : "+D"(to), "+S"(from), "+c"(words) : : "memory");
}

static double now_seconds(void) {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return (double)count.QuadPart / (double)frequency.QuadPart;
}

static int by_value(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static double median(double* samples) {
  qsort(samples, kRounds, sizeof *samples, by_value);
  return samples[kRounds / 2];
}

/* `piece` repeated to `size` bytes, padded with 'a', terminated. */
static char* text_of(const char* piece, size_t size) {
  char* text = malloc(size + 1);
  const size_t length = strlen(piece);
  size_t at = 0;
  for (; at + length <= size; at += length) memcpy(text + at, piece, length);
  memset(text + at, 'a', size - at);
  text[size] = '\0';
  return text;
}

static void measure(void* movie, const char* label, const char* text, int callsPerRound) {
  void* handler = game_member(movie, "Win1251ToUTF8");
  Value argument = string_value(text), result = {0};
  CallRecord record = {&result, movie, NULL, NULL, &argument, 1};
  const size_t size = strlen(text);
  char* copy = malloc(size + 4);
  double repair[kRounds], copying[kRounds];

  game_call_handler(handler, &record); /* the block for this length */
  check(result.kindWord == KIND_STRING, "%s: Win1251ToUTF8 gives a string", label);
  for (int round = 0; round < kRounds; ++round) {
    double start = now_seconds();
    for (int call = 0; call < callsPerRound; ++call) game_call_handler(handler, &record);
    repair[round] = (now_seconds() - start) / callsPerRound;
    start = now_seconds();
    for (int call = 0; call < callsPerRound; ++call) copy_words(copy, text, size + 1);
    copying[round] = (now_seconds() - start) / callsPerRound;
  }
  const double repairSeconds = median(repair), copySeconds = median(copying);
  fprintf(stderr, "%-22s repair %10.2f us %8.0f MB/s | copy %9.2f us %8.0f MB/s | repair/copy %6.1f\n", label,
          repairSeconds * 1e6, (double)size / repairSeconds / 1e6, copySeconds * 1e6,
          (double)size / copySeconds / 1e6, repairSeconds / copySeconds);
  free(copy);
}

static void run_benchmark(const char* dllPath) {
  void* movie = NULL;
  if (!start_session(dllPath, &movie)) return;
  char* misread = text_of("\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2 ", kMiB); /* "Ïðèâåò " */
  char* ascii = text_of("plain ASCII prose ", kMiB);
  char* russian = text_of("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 ", kMiB); /* "Привет " */
  char* brief = text_of("\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2 ", 40);
  fprintf(stderr, "medians of %d rounds, per call\n", kRounds);
  measure(movie, "1 MiB mis-decoded", misread, 1);
  measure(movie, "1 MiB ASCII", ascii, 1);
  measure(movie, "1 MiB correct Russian", russian, 1);
  measure(movie, "40 B mis-decoded", brief, kShortCallsPerRound);
  free(misread);
  free(ascii);
  free(russian);
  free(brief);
}

const Case benchmark = {"benchmark", run_benchmark};
