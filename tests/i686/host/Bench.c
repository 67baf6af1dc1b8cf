/* Times Win1251ToUTF8 on the shipped DLL through the game's virtual call,
 * against two copies of the same bytes in this process: an inlined
 * `rep movsd` and an SSE2 copy (msvcrt's memcpy under Wine is far slower
 * than the machine). Input and output never share their offset within a
 * 4 KiB page, which would make stores alias the loads after them. Figures
 * only; nothing here passes or fails on time. */
#include "Host.h"

#include <emmintrin.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kMiB = 1 << 20, kPage = 4096, kRounds = 5, kLongCallsPerRound = 10, kShortCallsPerRound = 10000 };

static void copy_words(void* to, const void* from, size_t bytes) {
  size_t words = bytes / 4;
  __asm__ volatile("rep movsl" : "+D"(to), "+S"(from), "+c"(words) : : "memory");
}

/* Unaligned 16-byte loads and stores, 64 bytes a step, then 16, the last 16
 * bytes overlapping what came before. */
__attribute__((target("sse2"), force_align_arg_pointer, noinline)) static void copy_sse2(void* to, const void* from,
                                                                                         size_t bytes) {
  char* out = to;
  const char* in = from;
  size_t done = 0;
  for (; bytes - done >= 64; done += 64) {
    const __m128i a = _mm_loadu_si128((const __m128i*)(in + done)), b = _mm_loadu_si128((const __m128i*)(in + done + 16));
    const __m128i c = _mm_loadu_si128((const __m128i*)(in + done + 32)), d = _mm_loadu_si128((const __m128i*)(in + done + 48));
    _mm_storeu_si128((__m128i*)(out + done), a);
    _mm_storeu_si128((__m128i*)(out + done + 16), b);
    _mm_storeu_si128((__m128i*)(out + done + 32), c);
    _mm_storeu_si128((__m128i*)(out + done + 48), d);
  }
  for (; bytes - done >= 16; done += 16) _mm_storeu_si128((__m128i*)(out + done), _mm_loadu_si128((const __m128i*)(in + done)));
  if (done == bytes) return;
  if (bytes >= 16) {
    _mm_storeu_si128((__m128i*)(out + bytes - 16), _mm_loadu_si128((const __m128i*)(in + bytes - 16)));
    return;
  }
  for (; done < bytes; ++done) out[done] = in[done];
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

/* A block of `size` bytes starting at `offset` within a page (never freed). */
static char* block_at(size_t size, uintptr_t offset) {
  char* memory = malloc(size + 2 * kPage);
  uintptr_t at = ((uintptr_t)memory + kPage - 1) & ~(uintptr_t)(kPage - 1);
  return (char*)(at + offset);
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

typedef void (*Copy)(void* to, const void* from, size_t bytes);

static double time_copy(Copy copy, char* to, const char* from, size_t bytes, int calls) {
  const double start = now_seconds();
  for (int call = 0; call < calls; ++call) copy(to, from, bytes);
  return (now_seconds() - start) / calls;
}

static void measure(void* movie, const char* label, const char* text, int callsPerRound) {
  void* handler = game_member(movie, "Win1251ToUTF8");
  const size_t size = strlen(text);
  Value argument = string_value(text), result = {0};
  CallRecord record = {&result, movie, NULL, NULL, &argument, 1};
  game_call_handler(handler, &record); /* the block for this length */
  if (!check(result.kindWord == KIND_STRING, "%s: Win1251ToUTF8 gives a string", label)) return;
  const char* expected = strdup(result.payload.pointer);

  /* The input half a page away from the output block the repair keeps; the
   * copies write to a block at the output's offset. */
  const uintptr_t outputOffset = (uintptr_t)result.payload.pointer % kPage;
  char* input = block_at(size + 1, (outputOffset + kPage / 2) % kPage);
  memcpy(input, text, size + 1);
  char* copy = block_at(size + 4, outputOffset);
  argument = string_value(input);
  game_call_handler(handler, &record);
  check(result.kindWord == KIND_STRING && strcmp(result.payload.pointer, expected) == 0 &&
            (uintptr_t)result.payload.pointer % kPage == outputOffset,
        "%s: the same text from the same block", label);

  double repair[kRounds], words[kRounds], sse2[kRounds];
  for (int round = 0; round < kRounds; ++round) {
    const double start = now_seconds();
    for (int call = 0; call < callsPerRound; ++call) game_call_handler(handler, &record);
    repair[round] = (now_seconds() - start) / callsPerRound;
    words[round] = time_copy(copy_words, copy, input, size + 1, callsPerRound);
    sse2[round] = time_copy(copy_sse2, copy, input, size + 1, callsPerRound);
  }
  const double repairSeconds = median(repair), wordSeconds = median(words), sse2Seconds = median(sse2);
  fprintf(stderr, "%-22s %10.3f us %6.0f MB/s | %9.3f us | %9.3f us | %6.1f | %6.1f\n", label, repairSeconds * 1e6,
          (double)size / repairSeconds / 1e6, wordSeconds * 1e6, sse2Seconds * 1e6, repairSeconds / wordSeconds,
          repairSeconds / sse2Seconds);
}

static void run_benchmark(const char* dllPath) {
  void* movie = NULL;
  if (!start_session(dllPath, &movie)) return;
  char* misread = text_of("\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2 ", kMiB); /* "Ïðèâåò " */
  char* ascii = text_of("plain ASCII prose ", kMiB);
  char* russian = text_of("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 ", kMiB); /* "Привет " */
  char* brief = text_of("\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2 ", 40);
  fprintf(stderr, "medians of %d rounds of %d calls (the 40-byte row: %d), per call\n", kRounds, kLongCallsPerRound,
          kShortCallsPerRound);
  fprintf(stderr, "%-22s %25s | %12s | %12s | %s\n", "input", "repair", "rep movsd", "SSE2 copy",
          "repair / rep movsd, / SSE2 copy");
  measure(movie, "1 MiB mis-decoded", misread, kLongCallsPerRound);
  measure(movie, "1 MiB ASCII", ascii, kLongCallsPerRound);
  measure(movie, "1 MiB correct Russian", russian, kLongCallsPerRound);
  measure(movie, "40 B mis-decoded", brief, kShortCallsPerRound);
}

const Case benchmark = {"benchmark", run_benchmark};
