// Quoting of file names and escaping of messages for the terminal.
#include "cli/terminal_text.h"

#include <gtest/gtest.h>

namespace qv::cli {
namespace {

TEST(QuoteFileName, PrintableNamesStayAsTheyAre) {
  EXPECT_EQ(QuoteFileName("/photos/IMG 0001.jpg"), "/photos/IMG 0001.jpg");
  EXPECT_EQ(QuoteFileName("写真/海.png"), "写真/海.png");
  EXPECT_EQ(QuoteFileName("it's.bmp"), "it's.bmp");
  EXPECT_EQ(QuoteFileName(""), "");
}

TEST(QuoteFileName, ControlsAndInvalidBytesAreEscapedInShellQuotes) {
  EXPECT_EQ(QuoteFileName("a\nb"), "'a'$'\\n''b'");
  EXPECT_EQ(QuoteFileName("\033[2Jx"), "$'\\033''[2Jx'");
  EXPECT_EQ(QuoteFileName("it's\r"), "'it'\\''s'$'\\r'");
  EXPECT_EQ(QuoteFileName("a\xFF\xFE"), "'a'$'\\377\\376'");
  EXPECT_EQ(QuoteFileName("a\x7F"), "'a'$'\\177'");
  // Overlong forms, surrogates and a sequence cut short are invalid bytes.
  EXPECT_EQ(QuoteFileName("\xC0\xAF"), "$'\\300\\257'");
  EXPECT_EQ(QuoteFileName("\xED\xA0\x80"), "$'\\355\\240\\200'");
  EXPECT_EQ(QuoteFileName("x\xE6\xB5"), "'x'$'\\346\\265'");
  // C1 controls (CSI), line separators and bidirectional overrides are escaped whole.
  EXPECT_EQ(QuoteFileName("a\xC2\x9B"
                          "2J"),
            "'a'$'\\302\\233''2J'");
  EXPECT_EQ(QuoteFileName("gpj.\xE2\x80\xAE"
                          "exe"),
            "'gpj.'$'\\342\\200\\256''exe'");
  EXPECT_EQ(QuoteFileName("a\xE2\x80\xA8"), "'a'$'\\342\\200\\250'");
}

TEST(TerminalSafe, NamesAreQuotedAndOtherControlsEscaped) {
  EXPECT_EQ(TerminalSafe("ファイル \"a.bmp\". 権限がありません"),
            "ファイル \"a.bmp\". 権限がありません");
  EXPECT_EQ(TerminalSafe("cannot open \"x\ny\": gone", {"x\ny"}),
            "cannot open \"'x'$'\\n''y'\": gone");
  EXPECT_EQ(TerminalSafe("bad \033]0;t\007 here"), "bad \\033]0;t\\a here");
  // The longest name wins where two start at the same place.
  EXPECT_EQ(TerminalSafe("/d/a\nb.pdf", {"/d/a\n", "/d/a\nb.pdf"}), "'/d/a'$'\\n''b.pdf'");
}

}  // namespace
}  // namespace qv::cli
