/* The shipped build's three ways through Win1251ToUTF8's repair, compared on
 * generated texts under qemu-i386: the SSE2 path, the scalar path and the
 * handler as the UI runtime calls it. Texts: Russian prose with ё, « », —,
 * № and the like read as Latin-1 and written as UTF-8, the same prose
 * correctly encoded, the two mixed, invalid byte sequences and random
 * bytes; kShortVariants texts of every length up to kShortLength at every
 * source alignment, longer ones at a rotating alignment, and each of them once more ending right
 * before an unmapped page. SSE2 outputs end right before one too. Ends with
 * one line "N passed, M failed"; the first difference is described before
 * it.
 *   differential-driver [LONG_TEXTS]   (default 100000) */
#include "../freestanding/Freestanding.h"
#include "../freestanding/RepairObjects.h"

enum { kShortLength = 160, kShortVariants = 3, kMaxLength = 66000, kKinds = 6 };
static const char* const kKindNames[kKinds] = {"mis-decoded prose", "correct prose", "mis-decoded then correct",
                                               "invalid sequences", "random bytes", "ASCII with pairs"};

/* ---- Random numbers ---------------------------------------------------- */

static uint32_t randomState = 20261209;

static unsigned below(unsigned bound) {
  randomState ^= randomState << 13;
  randomState ^= randomState >> 17;
  randomState ^= randomState << 5;
  return randomState % bound;
}

/* ---- Prose --------------------------------------------------------------- */

/* Windows-1251 bytes 0x80..0xBF as code points; 0 for 0x98, which has none.
 * 0xC0..0xFF are А..я in order. */
static const uint16_t kUpperHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

static unsigned char cp1251(uint32_t code) {
  if (code < 0x80) return (unsigned char)code;
  if (code >= 0x410 && code <= 0x44F) return (unsigned char)(0xC0 + code - 0x410);
  for (unsigned at = 0; at < 64; ++at) {
    if (kUpperHalf[at] == code) return (unsigned char)(0x80 + at);
  }
  return '?';
}

static const char* const kWords[] = {
    "Съешь", "же", "ещё", "этих", "мягких", "французских", "булок", "да", "выпей", "чаю", "Ёлка", "ёж",
    "объём", "Щука", "Юг", "Эх", "жёлтый", "ЯЗЫК", "подъезд", "Ґанок", "їжак", "Єва", "Ўзбек", "Ђак", "Џем",
    "Quest", "OK", "a", "HP", "№",
};
static const char* const kPunctuation[] = {
    " ", " ", " ", ", ", ". ", "! ", "? ", " — ", " – ", "«", "»", "\xC2\xA0", "…", "“", "”", "‘", "’",
    "№ ", "©", "°", "±", "§", "€", "‰", "™", "•", "„", "‚", "‹", "›", "\xC2\xAD", "¶", "·", "µ", "¬", "¤",
    "¦", "®", "\n", "\t",
};

typedef struct Text {
  unsigned char bytes[kMaxLength + 1];
  size_t length, limit;
} Text;

static void put(Text* text, unsigned byte) {
  if (text->length < text->limit) text->bytes[text->length++] = (unsigned char)byte;
}

/* The code point at `in`, stepping past it. */
static uint32_t next_code(const unsigned char** in) {
  const unsigned char* at = *in;
  uint32_t code = *at;
  if (code >= 0xE0) {
    code = (code & 0x0F) << 12 | (uint32_t)(at[1] & 0x3F) << 6 | (at[2] & 0x3F);
    *in = at + 3;
  } else if (code >= 0xC0) {
    code = (code & 0x1F) << 6 | (at[1] & 0x3F);
    *in = at + 2;
  } else {
    *in = at + 1;
  }
  return code;
}

/* A piece of UTF-8 prose, as it is or mis-decoded: its Windows-1251 bytes
 * read as Latin-1 and written as UTF-8. */
static void put_prose(Text* text, const char* piece, int misdecoded) {
  const unsigned char* in = (const unsigned char*)piece;
  while (*in) {
    if (!misdecoded) {
      put(text, *in++);
      continue;
    }
    const unsigned char byte = cp1251(next_code(&in));
    if (byte < 0x80) {
      put(text, byte);
    } else {
      put(text, 0xC2u + (byte >= 0xC0));
      put(text, 0x80u | (byte & 0x3F));
    }
  }
}

static void put_word_or_mark(Text* text, int misdecoded) {
  if (below(3) == 0) {
    put_prose(text, kPunctuation[below(sizeof kPunctuation / sizeof *kPunctuation)], misdecoded);
  } else {
    put_prose(text, kWords[below(sizeof kWords / sizeof *kWords)], misdecoded);
  }
}

/* Byte sequences that are not mis-decoded text: leads without trails, stray
 * trails, three-byte sequences that shift the pair walk, correctly encoded
 * letters including Ё and ё, lone bytes. */
static void put_oddity(Text* text) {
  switch (below(8)) {
    case 0: put(text, 0xC2u + below(2)); put(text, 0x20u + below(0x5F)); break;
    case 1: put(text, 0x80u + below(0x40)); break;
    case 2: put(text, 0xE2); put(text, 0x80); put(text, 0x90u + below(0x10)); break;
    case 3: put(text, 0xD0u + below(2)); put(text, 0x80u + below(0x40)); break;
    case 4: put(text, 0xC2u + below(2)); put(text, 0xC2u + below(2)); break;
    case 5: put(text, 0xC0u + below(0x40)); break;
    case 6: put(text, 0xC3); put(text, 0x80u + below(0x40)); put(text, 0x80u + below(0x40)); break;
    default: put(text, 1u + below(255)); break;
  }
}

static void make_text(Text* text, int kind, size_t length) {
  text->length = 0;
  text->limit = length;
  const size_t correctFrom = below((unsigned)length + 1);
  while (text->length < length) {
    switch (kind) {
      case 0: put_word_or_mark(text, 1); break;
      case 1: put_word_or_mark(text, 0); break;
      case 2: put_word_or_mark(text, text->length < correctFrom); break;
      case 3:
        if (below(3) == 0) put_oddity(text);
        else put_word_or_mark(text, 1);
        break;
      case 4: put(text, 1u + below(255)); break;
      default:
        if (below(8) == 0) put_word_or_mark(text, 1);
        else put(text, 0x20u + below(0x5F));
        break;
    }
  }
}

/* ---- Checks ---------------------------------------------------------------- */

static unsigned long passed, failed;

static void report(int ok, const char* what, int kind, size_t length, const char* in) {
  if (ok) {
    ++passed;
    return;
  }
  if (failed++ != 0) return;
  write_text("FAIL: ");
  write_text(what);
  write_text(" differs from the scalar path: ");
  write_text(kKindNames[kind]);
  write_text(", length ");
  write_number(length);
  write_text(", source at 16n+");
  write_number((uintptr_t)in % 16);
  write_text(", text");
  for (size_t at = 0; at < length && at < 64; ++at) {
    static const char digits[] = "0123456789ABCDEF";
    const char cell[3] = {' ', digits[(unsigned char)in[at] >> 4], digits[in[at] & 15]};
    write_bytes(cell, 3);
  }
  write_text(length > 64 ? " ...\n" : "\n");
}

static char* outputEnd;   /* an unmapped page follows */
static char* expected;

static void check(const char* in, int kind, size_t length) {
  const TextExtent extent = MeasureScalar(in);
  const size_t expectedLength = RepairScalar(in, extent, expected);

  const TextExtent measured = MeasureSse2(in);
  report(measured.length == extent.length && measured.firstHigh == extent.firstHigh, "MeasureSse2", kind, length,
         in);
  char* const out = outputEnd - (2 * length + 2);
  const size_t repairedLength = RepairSse2(in, extent, out);
  report(repairedLength == expectedLength && same_bytes(out, expected, expectedLength + 1), "RepairSse2", kind,
         length, in);

  /* One pass, given the room a two-pass repair needs (16 bytes at least),
   * and then a third of it, each before an unmapped page: the text
   * repaired, or with too little room no answer, and never a byte written
   * past the room. */
  const size_t room = 2 * length + 2 < 16 ? 16 : 2 * length + 2;
  const size_t onePassLength = RepairSse2InOnePass(in, outputEnd - room, room);
  report(onePassLength == expectedLength && same_bytes(outputEnd - room, expected, expectedLength + 1),
         "RepairSse2InOnePass", kind, length, in);
  const size_t small = room / 3 < 16 ? 16 : room / 3; /* it takes no less */
  const size_t smallLength = RepairSse2InOnePass(in, outputEnd - small, small);
  report(smallLength == kNotRepaired ||
             (smallLength == expectedLength && same_bytes(outputEnd - small, expected, expectedLength + 1)),
         "RepairSse2InOnePass with little room", kind, length, in);

  const char* const handled = call_handler(in);
  report(length == 0 ? handled == NULL : handled != NULL && same_text(handled, expected), "the handler", kind,
         length, in);
}

static Text text;

void program_main(int argc, char** argv) {
  const unsigned long longTexts = argc > 1 ? parse_number(argv[1]) : 100000;
  enum { kInputPages = (kMaxLength + 16) / kPage + 2, kOutputPages = (2 * kMaxLength + 2) / kPage + 2 };
  char* const inputStart = guarded_pages(kInputPages);
  char* const inputEnd = inputStart + kInputPages * kPage;
  outputEnd = guarded_pages(kOutputPages) + kOutputPages * kPage;
  expected = guarded_pages(kOutputPages);

  for (int kind = 0; kind < kKinds; ++kind) {
    for (size_t length = 0; length <= kShortLength; ++length) {
      for (int variant = 0; variant < kShortVariants; ++variant) {
        make_text(&text, kind, length);
        for (size_t offset = 0; offset <= 16; ++offset) {
          char* const in = offset < 16 ? inputStart + offset : inputEnd - length - 1;
          copy_bytes(in, (const char*)text.bytes, length);
          in[length] = 0;
          check(in, kind, length);
        }
      }
    }
  }
  for (unsigned long round = 0; round < longTexts; ++round) {
    const int kind = (int)(round % kKinds);
    size_t length = kShortLength + 1 + below(round % 50 == 0 ? kMaxLength - kShortLength : 1500);
    make_text(&text, kind, length);
    char* in = inputStart + round % 16;
    copy_bytes(in, (const char*)text.bytes, length);
    in[length] = 0;
    check(in, kind, length);
    in = inputEnd - length - 1;
    copy_bytes(in, (const char*)text.bytes, length);
    in[length] = 0;
    check(in, kind, length);
  }
  write_number(passed);
  write_text(" passed, ");
  write_number(failed);
  write_text(" failed: SSE2 path, scalar path and handler alike\n");
  exit_with(failed == 0 ? 0 : 1);
}
