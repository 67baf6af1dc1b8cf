#include "functions/FileNameCheck.h"

#include <gtest/gtest.h>

namespace {

struct Accepted {
  const char* name;
  const char* resolved;
};

TEST(FileNameCheckTest, AcceptsNamesThatStayBelowTheRoot) {
  const Accepted cases[] = {
      {"x.txt", "x.txt"},
      {"a\\b\\c.txt", "a\\b\\c.txt"},
      {"a/b/c.txt", "a\\b\\c.txt"},
      {"a\\..\\b.txt", "b.txt"},
      {"a/../b.txt", "b.txt"},
      {"a\\b\\..\\..\\c.txt", "c.txt"},
      {".\\x.txt", "x.txt"},
      {"a\\.\\x.txt", "a\\x.txt"},
      {"a\\\\b.txt", "a\\b.txt"},
      {"a\\.. \\b.txt", "b.txt"},
      {"x.txt. ", "x.txt"},
      {"dir. \\x.txt", "dir\\x.txt"},
      {" lead.txt", " lead.txt"},
      {"console", "console"},
      {"com10", "com10"},
      {"lpt00.txt", "lpt00.txt"},
      {"conin.txt", "conin.txt"},
      {"nullable.txt", "nullable.txt"},
      {"conx\\auxiliary.log", "conx\\auxiliary.log"},
      {"...x", "...x"},
      {"com\xC2\xB9x", "com\xC2\xB9x"},
      {"lpt\xC2\xB4.txt", "lpt\xC2\xB4.txt"},
  };
  for (const Accepted& accepted : cases) {
    SCOPED_TRACE(accepted.name);
    const auto resolved = ResolveNameBelowRoot(accepted.name);
    ASSERT_TRUE(resolved.has_value());
    EXPECT_EQ(*resolved, accepted.resolved);
  }
}

TEST(FileNameCheckTest, RefusesNamesThatLeaveTheRootOrNameNoFile) {
  const char* const cases[] = {
      // climbing above the root, with either separator and as Windows reads ".. "
      "..\\x", "../x", "..", "a\\..\\..\\x", "a/../../x", ".. \\x", "a\\b\\..\\..\\..\\x",
      // rooted, drive-qualified, UNC and device paths, alternate data streams
      "\\x", "/x", "C:x", "c:\\x", "\\\\server\\s", "\\\\?\\c:\\x", "\\\\.\\pipe", "x:y",
      "x.txt:stream", "a\\b:c\\d",
      // nothing left to name a file, or only dots and spaces
      "", ".", "a\\..", "a\\.\\..", "a\\", "a/", "...", "a\\ \\b", "..  .\\x",
      // reserved device names in any component, any case, with or without extension
      "nul", "NUL.txt", "nul.txt ", "nul .txt", "con", "con.", "Con.tar.gz", "prn", "aux.h",
      "com1", "COM9.log", "lpt1", "Lpt9", "a\\con\\b", "nul\\x.txt", "x\\aux",
      "com0", "LPT0.txt", "com\xB9", "COM\xB2.log", "lpt\xB3 .txt", "CONIN$", "conout$.txt",
      "COM\xC2\xB9", "LPT\xC2\xB2.txt", "a\\lpt\xC2\xB3 .log",
      "a\\CONOUT$. \\b", "nul. .",
  };
  for (const char* name : cases) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(ResolveNameBelowRoot(name).has_value());
  }
}

}  // namespace
