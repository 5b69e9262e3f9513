// INI file: integer rule, reading rules, in-place updates and appends, hand-edited files, the
// locked atomic write and two processes writing at once.
#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>

#include "settings/settings_test_support.h"
#include "support/test_names.h"

namespace qv {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;
using testing::TempDir;

struct IntegerCase {
  const char* text;
  std::optional<std::int32_t> expected;
};

class IniIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IniIntegerTest, ParsesAsTheIniLayerDoes) {
  EXPECT_EQ(ParseIniInteger(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniIntegerTest,
    ::testing::Values(IntegerCase{"0", 0}, IntegerCase{"42", 42}, IntegerCase{"-5", -5},
                      IntegerCase{"+7", 7}, IntegerCase{"007", 7},
                      IntegerCase{"2147483647", 2147483647}, IntegerCase{"-2147483648", INT32_MIN},
                      IntegerCase{"2147483648", std::nullopt}, IntegerCase{"0x1F", 31},
                      IntegerCase{"0XfF", 255}, IntegerCase{"0x", std::nullopt},
                      IntegerCase{"0xG", std::nullopt}, IntegerCase{"$10", 16},
                      IntegerCase{"-$10", -16}, IntegerCase{"$FFFFFFFF", -1},
                      IntegerCase{"$100000000", std::nullopt}, IntegerCase{"$", std::nullopt},
                      IntegerCase{"", std::nullopt}, IntegerCase{"yes", std::nullopt},
                      IntegerCase{"12abc", std::nullopt}, IntegerCase{"1 2", std::nullopt},
                      IntegerCase{"-", std::nullopt}, IntegerCase{"x10", std::nullopt}),
    [](const auto& test_info) {
      const auto& c = test_info.param;
      return std::to_string(test_info.index) + "_" + testing::NameOf(c.text);
    });

// ---- Reading rules ----

TEST(IniLookupTest, MatchesNamesWithoutCaseAndTrimsBlanks) {
  const std::string content = "[Alice]\nkey=a\n  [ bob ]  \n  JpegQL\t=  70 \t\nTop=\n";
  EXPECT_EQ(IniLookup(content, "BOB", "jpegql"), "70");
  EXPECT_EQ(IniLookup(content, "bob", "top"), "");
  EXPECT_EQ(IniLookup(content, "ALICE", "KEY"), "a");
  EXPECT_EQ(IniLookup(content, "bob", "key"), std::nullopt);
  EXPECT_EQ(IniLookup(content, "carol", "key"), std::nullopt);
}

TEST(IniLookupTest, FirstDuplicateSectionAndKeyWin) {
  const std::string content = "[u]\nk=first\nk=second\n[v]\nk=other\n[U]\nk=third\nj=late\n";
  EXPECT_EQ(IniLookup(content, "u", "k"), "first");
  // Keys of a later section of the same name are not seen.
  EXPECT_EQ(IniLookup(content, "u", "j"), std::nullopt);
}

TEST(IniLookupTest, CommentsKeysBeforeAnySectionAndLinesWithoutEqualsAreNoKeys) {
  const std::string content = "k=orphan\n[s]\n;k=comment\n#k=hash\nk\nvalue=a=b\n";
  EXPECT_EQ(IniLookup(content, "s", "k"), std::nullopt);
  EXPECT_EQ(IniLookup(content, "s", "value"), "a=b");
}

TEST(IniLookupTest, HandEditedFileIsReadWithoutError) {
  std::string binary("\x00\xff\x01=\x80", 5);
  const std::string content =
      "[s]\r\n" + std::string(100000, 'x') + "\r\n" + binary + "\r\nDstDir=C:\\写真\r\nlast=end";
  EXPECT_EQ(IniLookup(content, "s", "DstDir"), "C:\\写真");
  EXPECT_EQ(IniLookup(content, "s", "last"), "end");
}

TEST(IniLookupTest, ValuesAreCutTo2047BytesAtACharacterBoundary) {
  std::string plain(3000, 'a');
  EXPECT_EQ(IniLookup("[s]\nk=" + plain + "\n", "s", "k")->size(), 2047u);
  // 2046 ASCII bytes then a three-byte character: the character does not fit and is dropped.
  std::string value = std::string(2046, 'a') + "写" + "b";
  EXPECT_EQ(*IniLookup("[s]\nk=" + value + "\n", "s", "k"), std::string(2046, 'a'));
  std::string exact(2047, 'z');
  EXPECT_EQ(*IniLookup("[s]\nk=" + exact, "s", "k"), exact);
}

// ---- Writing in place and appending ----

struct UpdateCase {
  const char* name;
  const char* before;
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

class IniUpdateTest : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(IniUpdateTest, ChangesOnlyWhatItMust) {
  const UpdateCase& c = GetParam();
  EXPECT_EQ(IniUpdate(c.before, c.section, c.key, c.value), c.after) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniUpdateTest,
    ::testing::Values(
        UpdateCase{"empty file", "", "bob", "k", "1", "[bob]\nk=1\n"},
        UpdateCase{"in place keeps key spelling and position", "[bob]\na=1\n  JPEGql = 70 \nz=2\n",
                   "BOB", "jpegQL", "85", "[bob]\na=1\n  JPEGql=85\nz=2\n"},
        UpdateCase{"new key after the last filled line of its section", "[a]\nx=1\n\n[b]\ny=2\n",
                   "a", "k", "v", "[a]\nx=1\nk=v\n\n[b]\ny=2\n"},
        UpdateCase{"new key after a trailing comment", "[a]\nx=1\n; note\n\n", "a", "k", "v",
                   "[a]\nx=1\n; note\nk=v\n\n"},
        UpdateCase{"new section after a blank line", "[a]\nx=1\n", "b", "k", "v",
                   "[a]\nx=1\n\n[b]\nk=v\n"},
        UpdateCase{"new section when the file ends blank", "[a]\nx=1\n\n", "b", "k", "v",
                   "[a]\nx=1\n\n[b]\nk=v\n"},
        UpdateCase{"missing final newline, key appended", "[a]\nx=1", "a", "k", "v",
                   "[a]\nx=1\nk=v\n"},
        UpdateCase{"missing final newline, key in place", "[a]\nx=1", "a", "x", "2", "[a]\nx=2"},
        UpdateCase{"missing final newline, new section", "[a]\nx=1", "b", "k", "v",
                   "[a]\nx=1\n\n[b]\nk=v\n"},
        UpdateCase{"CR LF file gets CR LF lines", "[a]\r\nx=1\r\n\r\n[b]\r\n", "a", "k", "v",
                   "[a]\r\nx=1\r\nk=v\r\n\r\n[b]\r\n"},
        UpdateCase{"CR LF kept on an updated line", "[a]\r\nx=1\r\n", "a", "x", "22",
                   "[a]\r\nx=22\r\n"},
        UpdateCase{"only the first duplicate key changes", "[a]\nx=1\nx=2\n", "a", "x", "9",
                   "[a]\nx=9\nx=2\n"},
        UpdateCase{"only the first duplicate section changes", "[a]\n[b]\n[a]\nx=1\n", "a", "x",
                   "9", "[a]\nx=9\n[b]\n[a]\nx=1\n"},
        UpdateCase{"section header as the last line", "[a]", "a", "x", "1", "[a]\nx=1\n"},
        UpdateCase{"a value never breaks into a further line", "[a]\n", "a", "DstDir",
                   "/x\nFileFormat=3", "[a]\nDstDir=/x\n"}),
    [](const ::testing::TestParamInfo<UpdateCase>& param_info) {
      std::string name = param_info.param.name;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

TEST(IniUpdateTest, OtherSectionsAndStrangeLinesStayByteForByte) {
  std::string binary("\x00\xfe\x01\x7f junk", 9);
  const std::string head = "; hand-written\r\n[alice]\r\nJPEGQL=50\r\n" + binary + "\n" +
                           std::string(70000, 'L') + "\r\n";
  const std::string tail = "[carol]\nweird = spaced value \n\tindented=1\n[x";
  const std::string content = head + "[bob]\nJPEGQL=10\n" + tail;
  std::string updated = IniUpdate(content, "bob", "JPEGQL", "99");
  EXPECT_EQ(updated, head + "[bob]\nJPEGQL=99\n" + tail);
  std::string appended = IniUpdate(content, "bob", "PNGCL", "3");
  EXPECT_EQ(appended, head + "[bob]\nJPEGQL=10\nPNGCL=3\n" + tail);
}

// ---- The file on disk ----

TEST(IniFileTest, MissingFileReadsAsDefaultsAndIsCreatedByAWrite) {
  TempDir folder;
  TIniFile ini(folder / "q.ini");
  EXPECT_EQ(ini.ReadString("s", "k", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadInteger("s", "k", 7), 7);
  EXPECT_FALSE(std::filesystem::exists(folder / "q.ini"));  // opening and reading touch nothing
  ini.WriteInteger("s", "n", -12);
  ini.WriteBool("s", "b", true);
  ini.WriteString("s", "t", "テキスト");
  EXPECT_EQ(ReadFileBytes(folder / "q.ini"), "[s]\nn=-12\nb=1\nt=テキスト\n");
  EXPECT_EQ(ini.ReadInteger("s", "n", 0), -12);
  EXPECT_TRUE(ini.ReadBool("s", "b", false));
}

TEST(IniFileTest, IntegersAndBooleansFallBackOnJunk) {
  TempDir folder;
  WriteFileBytes(folder / "q.ini", "[s]\nhex=0x10\ndollar=$ff\njunk=yes\ntwo=2\nzero=0\n");
  TIniFile ini(folder / "q.ini");
  EXPECT_EQ(ini.ReadInteger("s", "hex", 0), 16);
  EXPECT_EQ(ini.ReadInteger("s", "dollar", 0), 255);
  EXPECT_EQ(ini.ReadInteger("s", "junk", 5), 5);
  EXPECT_TRUE(ini.ReadBool("s", "two", false));
  EXPECT_FALSE(ini.ReadBool("s", "zero", true));
  EXPECT_TRUE(ini.ReadBool("s", "junk", true));
  EXPECT_FALSE(ini.ReadBool("s", "junk", false));
}

// The file object reads what IniLookup finds in the same text, hand-edited files included.
TEST(IniFileTest, ReadsAsTheLookupDoes) {
  TempDir folder;
  const std::string contents[] = {
      "[Alice]\nkey=a\n  [ bob ]  \n  JpegQL\t=  70 \t\nTop=\n",
      "[u]\nk=first\nk=second\n[v]\nk=other\n[U]\nk=third\nj=late\n",
      "k=orphan\n[s]\n;k=comment\n#k=hash\nk\nvalue=a=b\n[x\nk=open\n[]\nk=empty\n",
      std::string("[s]\r\n\x00\xff\x01=\x80\r\nDstDir=C:\\写真\r\nk=") + std::string(3000, 'a') +
          "\r\nlast=end\r",
  };
  const std::pair<const char*, const char*> lookups[] = {
      {"bob", "jpegql"}, {"BOB", "top"},  {"alice", "KEY"}, {"bob", "key"}, {"u", "k"},
      {"u", "j"},        {"v", "k"},      {"s", "k"},       {"s", "value"}, {"x", "k"},
      {"", "k"},         {"s", "DstDir"}, {"s", "last"},    {" s ", " k "}, {"carol", "k"},
  };
  for (const std::string& content : contents) {
    WriteFileBytes(folder / "q.ini", content);
    TIniFile ini(folder / "q.ini");
    for (const auto& [section, key] : lookups)
      EXPECT_EQ(ini.ReadValue(section, key), IniLookup(content, section, key))
          << "[" << section << "] " << key << " in " << content.substr(0, 40);
  }
}

// A load reads the file once: every read of one object answers from the same state of the file,
// however many keys are read (a 10 MB file is not read again for each of them).
TEST(IniFileTest, ReadsComeFromOneStateOfTheFileUntilAWrite) {
  TempDir folder;
  WriteFileBytes(folder / "q.ini", "[s]\na=1\nb=1\n");
  TIniFile ini(folder / "q.ini");
  EXPECT_EQ(ini.ReadString("s", "a", ""), "1");
  WriteFileBytes(folder / "q.ini", "[s]\na=2\nb=2\n");  // another process saves meanwhile
  EXPECT_EQ(ini.ReadString("s", "b", ""), "1");
  ini.WriteString("s", "c", "3");
  EXPECT_EQ(ini.ReadString("s", "b", ""), "2");
  EXPECT_EQ(ini.ReadString("s", "c", ""), "3");
}

TEST(IniFileTest, WriteKeepsPermissionsAndFollowsASymbolicLink) {
  TempDir folder;
  WriteFileBytes(folder / "real.ini", "[s]\nk=1\n");
  ::chmod((folder / "real.ini").c_str(), 0640);
  std::filesystem::create_symlink(folder / "real.ini", folder / "link.ini");
  TIniFile(folder / "link.ini").WriteString("s", "k", "2");
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.ini"));
  EXPECT_EQ(ReadFileBytes(folder / "real.ini"), "[s]\nk=2\n");
  struct stat info;
  ASSERT_EQ(::stat((folder / "real.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  // No temporary file is left behind.
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 3);  // real.ini, link.ini, .real.ini.quenvale-lock
}

TEST(IniFileTest, FailedWriteNamesThePathAndDamagesNothing) {
  TempDir folder;
  // The folder of the file is a regular file: nothing can be created there.
  WriteFileBytes(folder / "plain", "keep");
  const std::string path = folder / "plain" + "/q.ini";
  try {
    TIniFile(path).WriteString("s", "k", "v");
    FAIL() << "no error";
  } catch (const EIniFileError& error) {
    EXPECT_EQ(error.Message(), path + " に書き込めません");
  }
  EXPECT_EQ(ReadFileBytes(folder / "plain"), "keep");
}

TEST(IniFileTest, AnUnreadableExistingFileIsNotReplaced) {
  TempDir folder;
  // A folder where the file should be cannot be read as a file; a write must not replace it
  // by a file holding only the new key.
  std::filesystem::create_directory(folder / "q.ini");
  WriteFileBytes(folder / "q.ini" + "/inside", "x");
  TIniFile ini(folder / "q.ini");
  EXPECT_EQ(ini.ReadString("s", "k", "d"), "d");
  EXPECT_THROW(ini.WriteString("s", "k", "v"), EIniFileError);
  EXPECT_TRUE(std::filesystem::is_directory(folder / "q.ini"));
  EXPECT_EQ(ReadFileBytes(folder / "q.ini" + "/inside"), "x");
}

TEST(IniFileTest, WriteValuesEqualsWritingOneAfterTheOther) {
  TempDir folder;
  const std::string start = "[a]\nk2=old\n\n[b]\nz=1\n";
  WriteFileBytes(folder / "one.ini", start);
  WriteFileBytes(folder / "many.ini", start);
  std::vector<std::pair<std::string, std::string>> values = {{"k1", "1"}, {"k2", "2"}, {"K1", "3"}};
  TIniFile one(folder / "one.ini");
  for (const auto& [key, value] : values) one.WriteString("a", key, value);
  TIniFile(folder / "many.ini").WriteValues("a", values);
  EXPECT_EQ(ReadFileBytes(folder / "many.ini"), ReadFileBytes(folder / "one.ini"));
  EXPECT_EQ(ReadFileBytes(folder / "many.ini"), "[a]\nk2=2\nk1=3\n\n[b]\nz=1\n");
}

// Two processes (think the GUI and quenvale-cli) write their own keys into one file at once,
// each key by its own read-modify-write: every key of both must survive.
TEST(IniFileTest, TwoProcessesWritingAtOnceLoseNoKey) {
  TempDir folder;
  const std::string path = folder / "shared.ini";
  WriteFileBytes(path, "[keep]\nuntouched=1\n");
  constexpr int kKeys = 60;
  pid_t children[2];
  for (int process = 0; process < 2; ++process) {
    children[process] = ::fork();
    ASSERT_GE(children[process], 0);
    if (children[process] == 0) {
      int status = 0;
      try {
        TIniFile ini(path);
        const std::string section = process == 0 ? "gui" : "cli";
        for (int i = 0; i < kKeys; ++i)
          ini.WriteString(i % 2 ? section : "both", section + std::to_string(i), std::to_string(i));
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
  }
  for (pid_t child : children) {
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("keep", "untouched", ""), "1");
  for (const std::string section : {"gui", "cli"})
    for (int i = 0; i < kKeys; ++i)
      EXPECT_EQ(ini.ReadString(i % 2 ? section : "both", section + std::to_string(i), "lost"),
                std::to_string(i))
          << section << i;
}

}  // namespace
}  // namespace qv
