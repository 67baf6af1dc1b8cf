/* A freestanding static i386 program around the shipped build's repair
 * objects: each SSE2 entry point is called with ESP at 0, 4, 8 and 12 modulo
 * 16 (the game guarantees only 4), on texts of every length 0-64 at every
 * source alignment, and must give the scalar path's bytes. Texts start right
 * after an unmapped page or end right before one, and outputs end right
 * before one, so a read or write past either faults. Ends with one line
 * "N passed, M failed"; the first difference is described before it. */
#include <stddef.h>
#include <stdint.h>

#include "../freestanding/Freestanding.h"

typedef struct TextExtent {
  size_t length;
  size_t firstHigh;
} TextExtent;

/* The repair's C++ entry points, by their mangled names. */
TextExtent MeasureScalar(const char* text) __asm__("__ZN7win125113MeasureScalarEPKc");
size_t RepairScalar(const char* in, TextExtent extent, char* out) __asm__("__ZN7win125112RepairScalarEPKc10TextExtentPc");
extern char MeasureSse2[] __asm__("__ZN7win125111MeasureSse2EPKc");
extern char RepairSse2[] __asm__("__ZN7win125110RepairSse2EPKc10TextExtentPc");
extern char RepairSse2InOnePass[] __asm__("__ZN7win125119RepairSse2InOnePassEPKcPcj");

/* Named by the objects' unwind tables; nothing here throws. */
void __gxx_personality_v0(void) {}

uint64_t call_at(uint32_t espModulo16, void* function, uint32_t argCount, const uint32_t* args);
uint32_t entry_esp(void);
extern int calleeSavedBroken;

enum { kMaxLength = 64 };


/* ---- Texts ------------------------------------------------------------ */

static uint32_t randomState = 20240611;

static unsigned below(unsigned bound) {
  randomState = randomState * 1103515245u + 12345u;
  return (randomState >> 8) % bound;
}

static size_t append(char* text, size_t at, const char* piece, size_t length) {
  for (size_t i = 0; i < length && at < kMaxLength; ++i) text[at++] = piece[i];
  return at;
}

/* Shapes that take each way through the 16-byte steps, kMaxLength bytes:
 * ASCII, mis-read letters between spaces, correct Russian, a letter after
 * mis-read ones, and a random mix of every kind of byte. */
enum { kShapes = 5 };

static void make_shape(int shape, char* text) {
  static const char misread[] = "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2 ";
  static const char russian[] = "\xD0\x9F\xD1\x80\xD0\xB8 ";
  size_t at = 0;
  while (at < kMaxLength) {
    switch (shape) {
      case 0:
        text[at] = (char)(0x20 + (at * 7) % 0x5F);
        ++at;
        break;
      case 1:
        at = append(text, at, misread, sizeof misread - 1);
        break;
      case 2:
        at = append(text, at, russian, sizeof russian - 1);
        break;
      case 3: {
        const char pair[2] = {(char)0xC3, (char)(0x80 + (at * 5) % 0x40)};
        at = at >= 40 ? append(text, at, "\xD0\x9F", 2) : append(text, at, pair, 2);
        break;
      }
      default: {
        char piece[3] = {(char)(0x20 + below(0x5F)), 0, 0};
        size_t length = 1;
        switch (below(6)) {
          case 0: break;
          case 1:
          case 2:
            piece[0] = (char)(0xC2 + below(2)), piece[1] = (char)(0x80 + below(0x40)), length = 2;
            break;
          case 3:
            piece[0] = (char)0xE2, piece[1] = (char)0x80, piece[2] = (char)(0x90 + below(0x10)), length = 3;
            break;
          case 4:
            piece[0] = (char)(0xD0 + below(2)), piece[1] = (char)(0x80 + below(0x40)), length = 2;
            break;
          default:
            piece[0] = (char)(1 + below(255));
            break;
        }
        at = append(text, at, piece, length);
      }
    }
  }
}

/* ---- Checks ----------------------------------------------------------- */

static unsigned long passed, failed;

static void report(int ok, const char* what, int shape, size_t length, uintptr_t source, uint32_t esp) {
  if (ok) {
    ++passed;
    return;
  }
  if (failed++ == 0) {
    write_text("FAIL: ");
    write_text(what);
    write_text(" differs from the scalar path: shape ");
    write_number((unsigned long)shape);
    write_text(", length ");
    write_number(length);
    write_text(", source at 16n+");
    write_number(source % 16);
    write_text(", ESP at 16n+");
    write_number(esp);
    write_text("\n");
  }
}

/* Every SSE2 entry point on the text at `in` against the scalar path. */
static void check_text(const char* in, int shape, size_t length, char* outputPage) {
  const TextExtent expectedExtent = MeasureScalar(in);
  static char expected[2 * kMaxLength + 2];
  const size_t expectedLength = RepairScalar(in, expectedExtent, expected);
  /* The output buffer ends where the page does. */
  const size_t bufferSize = 2 * length + 2;
  char* const out = outputPage + kPage - bufferSize;
  for (uint32_t esp = 0; esp < 16; esp += 4) {
    uint32_t args[4] = {(uint32_t)(uintptr_t)in};
    const uint64_t measured = call_at(esp, MeasureSse2, 1, args);
    report((uint32_t)measured == expectedExtent.length && (uint32_t)(measured >> 32) == expectedExtent.firstHigh,
           "MeasureSse2", shape, length, (uintptr_t)in, esp);

    for (size_t at = 0; at < bufferSize; ++at) out[at] = (char)0xEE;
    args[1] = (uint32_t)expectedExtent.length;
    args[2] = (uint32_t)expectedExtent.firstHigh;
    args[3] = (uint32_t)(uintptr_t)out;
    const uint32_t repaired = (uint32_t)call_at(esp, RepairSse2, 4, args);
    report(repaired == expectedLength && same_bytes(out, expected, expectedLength + 1), "RepairSse2", shape, length,
           (uintptr_t)in, esp);

    /* The one-pass repair takes 16 bytes at least. */
    const size_t room = bufferSize < 16 ? 16 : bufferSize;
    char* const onePassOut = outputPage + kPage - room;
    for (size_t at = 0; at < room; ++at) onePassOut[at] = (char)0xEE;
    args[1] = (uint32_t)(uintptr_t)onePassOut;
    args[2] = (uint32_t)room;
    const uint32_t onePass = (uint32_t)call_at(esp, RepairSse2InOnePass, 3, args);
    report(onePass == expectedLength && same_bytes(onePassOut, expected, expectedLength + 1), "RepairSse2InOnePass",
           shape, length, (uintptr_t)in, esp);

  }
}

void start(void) {
  for (uint32_t esp = 0; esp < 16; esp += 4) {
    report((uint32_t)call_at(esp, (void*)entry_esp, 0, NULL) % 16 == esp, "the ESP the helper sets", 0, 0, 0, esp);
  }
  char* const inputPage = guarded_pages(1);
  char* const outputPage = guarded_pages(1);
  char text[kMaxLength];
  for (int shape = 0; shape < kShapes; ++shape) {
    for (size_t length = 0; length <= kMaxLength; ++length) {
      make_shape(shape, text);
      /* Every alignment right after an unmapped page, and the terminator on
       * the last byte before one. */
      for (size_t offset = 0; offset <= 16; ++offset) {
        char* const in = offset < 16 ? inputPage + offset : inputPage + kPage - length - 1;
        copy_bytes(in, text, length);
        in[length] = '\0';
        check_text(in, shape, length, outputPage);
      }
    }
  }
  report(!calleeSavedBroken, "EBX, ESI and EDI after the calls", 0, 0, 0, 0);
  write_number(passed);
  write_text(" passed, ");
  write_number(failed);
  write_text(" failed: SSE2 repair at every stack alignment\n");
  exit_with(failed == 0 ? 0 : 1);
}
