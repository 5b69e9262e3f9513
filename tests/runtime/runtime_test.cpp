// Tests of the exception messages, text and path helpers.
#include <gtest/gtest.h>

#include "runtime/exceptions.h"
#include "runtime/paths.h"
#include "runtime/strings.h"

namespace qv {
namespace {

TEST(Exceptions, AssertionMessageNamesModuleAndLine) {
  EXPECT_EQ(EAssertionFailed("BitmapUtils", 1066).Message(),
            "Assertion failure (BitmapUtils, 1066 行)");
}

TEST(Exceptions, FileErrorsNameThePathAndReason) {
  EXPECT_EQ(EFCreateError("/x/y.bmp", "Permission denied").Message(),
            "ファイル \"/x/y.bmp\". Permission denied を作成できません");
  EXPECT_EQ(EFOpenError("a.png", "No such file or directory").Message(),
            "ファイル \"a.png\". No such file or directory を開けません");
}

TEST(Exceptions, ErrorBoxAppendsDotOnlyAfterGreaterCharacters) {
  EXPECT_EQ(ErrorBoxText("abc"), "abc.");
  EXPECT_EQ(ErrorBoxText("done."), "done.");
  EXPECT_EQ(ErrorBoxText("x!"), "x!");   // '!' < '.'
  EXPECT_EQ(ErrorBoxText("a-"), "a-");   // '-' < '.'
  EXPECT_EQ(ErrorBoxText("a/"), "a/.");  // '/' > '.'
  EXPECT_EQ(ErrorBoxText("ビットマップイメージが不正です"), "ビットマップイメージが不正です.");
  EXPECT_EQ(ErrorBoxText(""), "");
}

TEST(Strings, FormatTextFillsDirectivesInOrder) {
  EXPECT_EQ(FormatText("%s (%s, %d 行)", {"A", "M", "7"}), "A (M, 7 行)");
  EXPECT_EQ(FormatText("100%% %s", {"x"}), "100% x");
  EXPECT_EQ(FormatText("%s %s", {"only"}), "only %s");
  // A translation's own order of the arguments.
  EXPECT_EQ(FormatText("%2$s: %1$s", {"3", "reason"}), "reason: 3");
  EXPECT_EQ(FormatText("%3$s", {"a", "b"}), "%3$s");
}

TEST(Strings, ParseInt32AcceptsOnlyWholeDecimalIntegers) {
  EXPECT_EQ(ParseInt32("85"), 85);
  EXPECT_EQ(ParseInt32("-5"), -5);
  EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
  EXPECT_EQ(ParseInt32("-2147483648"), -2147483647 - 1);
  EXPECT_FALSE(ParseInt32("2147483648"));
  EXPECT_FALSE(ParseInt32("12a"));
  EXPECT_FALSE(ParseInt32(""));
  EXPECT_FALSE(ParseInt32("-"));
  EXPECT_FALSE(ParseInt32(" 1"));
}

TEST(Strings, ParseByteSizeTakesDigitsAndOneOfKMG) {
  EXPECT_EQ(ParseByteSize("1048576"), 1048576u);
  EXPECT_EQ(ParseByteSize("64k"), 65536u);
  EXPECT_EQ(ParseByteSize("512M"), 512u << 20);
  EXPECT_EQ(ParseByteSize("2G"), std::uint64_t{2} << 30);
  EXPECT_EQ(ParseByteSize("8589934592G"), std::uint64_t{1} << 63);
  for (const char* bad : {"", "0", "0G", "G", "1T", "1.5G", "-1", " 1", "1 G", "1GB", "8589934593G",
                          "99999999999999999999"})
    EXPECT_FALSE(ParseByteSize(bad)) << bad;
}

TEST(Strings, EqualsNoCaseFoldsOnlyAsciiLetters) {
  EXPECT_TRUE(EqualsNoCase("Quality", "qUALITY"));
  EXPECT_TRUE(EqualsNoCase("", ""));
  EXPECT_FALSE(EqualsNoCase("Quality", "Qualit"));
  EXPECT_FALSE(EqualsNoCase("a[", "A{"));
  EXPECT_TRUE(EqualsNoCase("\xC3\xA9X", "\xC3\xA9x"));
  EXPECT_FALSE(EqualsNoCase("\xC3\xA9", "\xC3\x89"));
}

TEST(Paths, NamePartsSplitAtTheLastSlashAndDot) {
  EXPECT_EQ(ExtractFilePath("/a/b/c.tar.bmp"), "/a/b/");
  EXPECT_EQ(ExtractFileName("/a/b/c.tar.bmp"), "c.tar.bmp");
  EXPECT_EQ(ExtractFileExt("/a/b/c.tar.bmp"), ".bmp");
  EXPECT_EQ(ExtractFileExt("/a.b/scan"), "");
  EXPECT_EQ(ExtractFileExt("/a/name."), ".");
  EXPECT_EQ(ChangeFileExt("/a.b/scan", ".png"), "/a.b/scan.png");
  EXPECT_EQ(ChangeFileExt("x/archive.tar.bmp", ".png"), "x/archive.tar.png");
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/out/"), "/out/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/out"), "/out/");
}

}  // namespace
}  // namespace qv
