/* One repair of one generated text by one path of the shipped build's i686
 * objects, between calls of count_begin and count_end, for
 * count-instructions.sh to count the instructions in between under
 * qemu-i386. The result is checked against the scalar path afterwards.
 *   count-driver TEXT PATH BYTES [OFFSET]
 * TEXT: ascii, russian, misdecoded (a Russian sentence with ё, read as
 * Latin-1 and written as UTF-8), guillemets (the same with « » — №) or
 * dashes (mis-decoded punctuation only, most of it with three-byte results);
 * PATH: sse2, scalar or handler (a call through the handler, after one
 * call that leaves its result block in place); BYTES: the text's length;
 * OFFSET: its address modulo 16 (default 0). */
#include "../../tests/shipped/freestanding/Freestanding.h"
#include "../../tests/shipped/freestanding/RepairObjects.h"

void __attribute__((noinline)) count_begin(void) { __asm__ volatile(""); }
void __attribute__((noinline)) count_end(void) { __asm__ volatile(""); }

static const char kEnglish[] = "The quick brown fox jumps over the lazy dog, and then it rests. ";
static const char kRussian[] = "Съешь же ещё этих мягких французских булок, да выпей чаю. ";
static const char kGuillemets[] = "«Ёлки-палки», — сказал он. Квартира № 5. Съешь же ещё этих булок. ";
static const char kDashes[] = "«—» “…” ‘–’ № ";

/* The Windows-1251 byte of a code point this file uses. */
static unsigned char cp1251(uint32_t code) {
  if (code < 0x80) return (unsigned char)code;
  if (code >= 0x410 && code <= 0x44F) return (unsigned char)(0xC0 + code - 0x410);
  switch (code) {
    case 0x401: return 0xA8;
    case 0x451: return 0xB8;
    case 0xAB: return 0xAB;
    case 0xBB: return 0xBB;
    case 0x2014: return 0x97;
    case 0x2116: return 0xB9;
    case 0x2013: return 0x96;
    case 0x201C: return 0x93;
    case 0x201D: return 0x94;
    case 0x2018: return 0x91;
    case 0x2019: return 0x92;
    case 0x2026: return 0x85;
    default: return '?';
  }
}

/* `pattern` (UTF-8) repeated to `size` bytes at `out`; with `misdecode`, as
 * its Windows-1251 bytes read as Latin-1 and written as UTF-8. */
static void fill(char* out, size_t size, const char* pattern, int misdecode) {
  size_t at = 0;
  const unsigned char* in = (const unsigned char*)pattern;
  while (at < size) {
    if (*in == 0) in = (const unsigned char*)pattern;
    if (!misdecode) {
      out[at++] = (char)*in++;
      continue;
    }
    uint32_t code = *in++;
    if (code >= 0xE0) {
      code = (code & 0x0F) << 12 | (uint32_t)(in[0] & 0x3F) << 6 | (in[1] & 0x3F);
      in += 2;
    } else if (code >= 0xC0) {
      code = (code & 0x1F) << 6 | (in[0] & 0x3F);
      in += 1;
    }
    const unsigned char byte = cp1251(code);
    if (byte < 0x80) {
      out[at++] = (char)byte;
    } else {
      out[at++] = (char)(0xC2 + (byte >= 0xC0));
      if (at < size) out[at++] = (char)(0x80 | (byte & 0x3F));
    }
  }
  out[size] = 0;
}

static int equal(const char* text, const char* name) { return same_text(text, name); }

static void fail(const char* why) {
  write_text("FAIL: ");
  write_text(why);
  write_text("\n");
  exit_with(1);
}

void program_main(int argc, char** argv) {
  if (argc < 4) fail("usage: count-driver TEXT PATH BYTES [OFFSET]");
  const size_t size = parse_number(argv[3]);
  const size_t offset = argc > 4 ? parse_number(argv[4]) % 16 : 0;
  const size_t pages = (size + 16 + kPage) / kPage;
  char* const text = guarded_pages(pages) + offset;
  char* const out = guarded_pages(2 * pages + 1);
  char* const expected = guarded_pages(2 * pages + 1);
  if (equal(argv[1], "ascii")) fill(text, size, kEnglish, 0);
  else if (equal(argv[1], "russian")) fill(text, size, kRussian, 0);
  else if (equal(argv[1], "misdecoded")) fill(text, size, kRussian, 1);
  else if (equal(argv[1], "guillemets")) fill(text, size, kGuillemets, 1);
  else if (equal(argv[1], "dashes")) fill(text, size, kDashes, 1);
  else fail("TEXT is ascii, russian, misdecoded, guillemets or dashes");

  const char* result = out;
  if (equal(argv[2], "sse2")) {
    count_begin();
    RepairSse2(text, MeasureSse2(text), out);
    count_end();
  } else if (equal(argv[2], "scalar")) {
    count_begin();
    RepairScalar(text, MeasureScalar(text), out);
    count_end();
  } else if (equal(argv[2], "handler")) {
    call_handler(text);
    FunctionCallRecord* const call = handler_call(text);
    count_begin();
    HandleCall(handler_object, call);
    count_end();
    result = handler_result(call);
    if (!result) fail("the handler gave no result");
  } else {
    fail("PATH is sse2, scalar or handler");
  }
  RepairScalar(text, MeasureScalar(text), expected);
  if (!same_text(result, expected)) fail("the result differs from the scalar path's");
  exit_with(0);
}
