// The settings record: the dialog's defaults and key order, loading with the dialog's rules,
// saving as OK does, two users in one file, --set values, the job's view of the spin fields.
#include "settings/settings_record.h"

#include <gtest/gtest.h>

#include "runtime/paths.h"
#include "settings/auto_ini.h"
#include "settings/ini_file.h"
#include "settings/settings_test_support.h"
#include "settings/setup_form_model.h"
#include "support/test_names.h"

namespace qv {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;
using testing::TempDir;
using Pairs = std::vector<std::pair<std::string, std::string>>;

const Pairs kDefaults = {
    {"TargetRes", "0"}, {"FileFormat", "0"}, {"SepiaMode", "0"}, {"Reduce256ColorMode", "0"},
    {"DstDir", ""},     {"OutputMode", "0"}, {"OverWrite", "0"}, {"ResampleMode", "0"},
    {"PNGCL", "9"},     {"JPEGQL", "85"}};

std::string Value(const TSettingsRecord& record, const std::string& key) {
  for (const auto& [k, v] : record.Values())
    if (k == key) return v;
  return "<missing>";
}

class TQuietHost : public IAutoIniHost {
 public:
  void ShowMessage(const std::string&) override {}
};

TEST(SettingsRecordTest, DesignTimeDefaultsInTheOrderTheFileGetsThem) {
  TSettingsRecord record;
  EXPECT_EQ(record.Values(), kDefaults);
  EXPECT_EQ(record.Choice(TSetting::kTargetRes), 0);
  EXPECT_EQ(record.Choice(TSetting::kFileFormat), 0);
  EXPECT_FALSE(record.Checked(TSetting::kSepiaMode));
  EXPECT_FALSE(record.Checked(TSetting::kReduce256ColorMode));
  EXPECT_EQ(record.Text(TSetting::kDstDir), "");
  EXPECT_EQ(record.Number(TSetting::kJPEGQL), 85);
  EXPECT_EQ(record.Number(TSetting::kPNGCL), 9);
}

TEST(SettingsRecordTest, FirstStartWithoutAFileKeepsEveryDefault) {
  TempDir folder;
  TSettingsRecord record;
  record.LoadFromIni(folder / "none.ini", "bob");
  EXPECT_EQ(record.Values(), kDefaults);
  // The dialog itself stands at the top-left corner.
  auto form = MakeSetupFormModel();
  form->SetTop(50);
  form->SetLeft(60);
  TQuietHost host;
  TAutoIni dialog(*form, host);
  dialog.SetIniPathOverride(folder / "none.ini");
  dialog.SetCheckWinState(true);
  dialog.SetSection("bob");
  dialog.LoadFromIni();
  EXPECT_EQ(form->Top(), 0);
  EXPECT_EQ(form->Left(), 0);
}

TEST(SettingsRecordTest, StoredValuesLoadWithTheDialogsRules) {
  TempDir folder;
  WriteFileBytes(folder / "q.ini",
                 "[bob]\r\nJPEGQL=150\r\nFileFormat=7\r\nResampleMode=-5\r\nSepiaMode=2\r\n"
                 "TargetRes=0x4\r\nDstDir=  /srv/写真 \r\nPNGCL=abc\r\n");
  TSettingsRecord record;
  record.LoadFromIni(folder / "q.ini", "BOB");
  EXPECT_EQ(Value(record, "JPEGQL"), "150");  // loaded as text; the field clamps on leaving it
  EXPECT_EQ(record.Number(TSetting::kJPEGQL), 150);
  EXPECT_EQ(record.Choice(TSetting::kFileFormat), 5);  // the last item, AVIF
  EXPECT_EQ(record.Choice(TSetting::kResampleMode), -1);
  EXPECT_TRUE(record.Checked(TSetting::kSepiaMode));
  EXPECT_EQ(Value(record, "SepiaMode"), "1");
  EXPECT_EQ(record.Choice(TSetting::kTargetRes), 4);
  EXPECT_EQ(record.Text(TSetting::kDstDir), "/srv/写真");
  EXPECT_EQ(Value(record, "PNGCL"), "abc");
  EXPECT_EQ(record.Number(TSetting::kPNGCL), 0);  // not a number: the field's minimum
}

TEST(SettingsRecordTest, NoIntegerLeavesTheCurrentState) {
  TempDir folder;
  WriteFileBytes(folder / "q.ini", "[u]\nSepiaMode=yes\nFileFormat=two\n");
  TSettingsRecord record;
  ASSERT_TRUE(record.SetValue("SepiaMode", "1"));
  ASSERT_TRUE(record.SetValue("FileFormat", "2"));
  record.LoadFromIni(folder / "q.ini", "u");
  EXPECT_TRUE(record.Checked(TSetting::kSepiaMode));
  EXPECT_EQ(record.Choice(TSetting::kFileFormat), 2);
}

TEST(SettingsRecordTest, SpinFieldsGiveTheirMinimumForText) {
  TSettingsRecord record;
  ASSERT_TRUE(record.SetValue("JPEGQL", "0"));
  EXPECT_EQ(record.Number(TSetting::kJPEGQL), 0);  // unclamped, as typed text is
  TempDir folder;
  WriteFileBytes(folder / "q.ini", "[u]\nJPEGQL=abc\nPNGCL=\n");
  record.LoadFromIni(folder / "q.ini", "u");
  EXPECT_EQ(record.Number(TSetting::kJPEGQL), 1);
  EXPECT_EQ(record.Number(TSetting::kPNGCL), 0);
}

TEST(SettingsRecordTest, TwoUsersKeepSeparateSectionsOfOneFile) {
  TempDir folder;
  const std::string path = folder / "q.ini";
  TSettingsRecord alice, bob;
  ASSERT_TRUE(alice.SetValue("JPEGQL", "50"));
  ASSERT_TRUE(bob.SetValue("FileFormat", "2"));
  alice.SaveToIni(path, "alice");
  bob.SaveToIni(path, "bob");
  alice.SaveToIni(path, "alice");
  TSettingsRecord alice_again, bob_again;
  alice_again.LoadFromIni(path, "alice");
  bob_again.LoadFromIni(path, "bob");
  EXPECT_EQ(alice_again.Number(TSetting::kJPEGQL), 50);
  EXPECT_EQ(alice_again.Choice(TSetting::kFileFormat), 0);
  EXPECT_EQ(bob_again.Number(TSetting::kJPEGQL), 85);
  EXPECT_EQ(bob_again.Choice(TSetting::kFileFormat), 2);
}

TEST(SettingsRecordTest, SaveWritesAsOkDoesAndLeavesPositionKeysAlone) {
  TempDir folder;
  const std::string path = folder / "q.ini";
  // The main window saved first: its position keys lead the section.
  TModelControl main_window(TControlKind::kOther, "DropFileForm");
  main_window.SetTop(120);
  main_window.SetLeft(300);
  TQuietHost host;
  TAutoIni main_ini(main_window, host);
  main_ini.SetIniPathOverride(path);
  main_ini.SetSection("bob");
  main_ini.SetCheckWinState(true);
  main_ini.SaveToIni();
  TIniFile(path).WriteInteger("bob", "SetupFormTop", 33);

  TSettingsRecord record;
  ASSERT_TRUE(record.SetValue("OutputMode", "1"));
  ASSERT_TRUE(record.SetValue("DstDir", "/out dir"));
  record.SaveToIni(path, "bob");
  EXPECT_EQ(ReadFileBytes(path),
            "[bob]\nDropFileFormTop=120\nDropFileFormLeft=300\nSetupFormTop=33\nTargetRes=0\n"
            "FileFormat=0\nSepiaMode=0\nReduce256ColorMode=0\nDstDir=/out dir\nOutputMode=1\n"
            "OverWrite=0\nResampleMode=0\nPNGCL=9\nJPEGQL=85\n");
}

TEST(SettingsRecordTest, TheDialogSavingFirstPutsItsKeysFirst) {
  TempDir folder;
  const std::string path = folder / "q.ini";
  auto dialog_form = MakeSetupFormModel();
  dialog_form->SetTop(5);
  dialog_form->SetLeft(6);
  TQuietHost host;
  TAutoIni dialog(*dialog_form, host);
  dialog.SetIniPathOverride(path);
  dialog.SetSection("bob");
  dialog.SetCheckWinState(true);
  dialog.SaveToIni();
  TModelControl main_window(TControlKind::kOther, "DropFileForm");
  TAutoIni main_ini(main_window, host);
  main_ini.SetIniPathOverride(path);
  main_ini.SetSection("bob");
  main_ini.SetCheckWinState(true);
  main_ini.SaveToIni();
  EXPECT_EQ(ReadFileBytes(path),
            "[bob]\nSetupFormTop=5\nSetupFormLeft=6\nTargetRes=0\nFileFormat=0\nSepiaMode=0\n"
            "Reduce256ColorMode=0\nDstDir=\nOutputMode=0\nOverWrite=0\nResampleMode=0\n"
            "PNGCL=9\nJPEGQL=85\nDropFileFormTop=0\nDropFileFormLeft=0\n");
}

TEST(SettingsRecordTest, SpeedOptionsAreOffAndStoredOnlyOnceChanged) {
  TempDir folder;
  const std::string path = folder / "q.ini";
  TSettingsRecord record;
  EXPECT_FALSE(record.Checked(TSetting::kFastShrink));
  EXPECT_EQ(record.Choice(TSetting::kPNGFilters), 0);
  record.SaveToIni(path, "u");
  EXPECT_EQ(ReadFileBytes(path).find("FastShrink"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(path).find("PNGFilters"), std::string::npos);

  ASSERT_TRUE(record.SetValue("fastshrink", "1"));
  ASSERT_TRUE(record.SetValue("PNGFilters", "1"));
  EXPECT_FALSE(record.SetValue("PNGFilters", "2"));  // sub and all only
  record.SaveToIni(path, "u");
  TSettingsRecord loaded;
  loaded.LoadFromIni(path, "u");
  EXPECT_TRUE(loaded.Checked(TSetting::kFastShrink));
  EXPECT_EQ(loaded.Choice(TSetting::kPNGFilters), 1);
}

TEST(SettingsRecordTest, EmptySectionIsTheExecutablesFileName) {
  TempDir folder;
  TSettingsRecord record;
  record.SaveToIni(folder / "q.ini", "");
  EXPECT_EQ(ReadFileBytes(folder / "q.ini")
                .rfind("[" + ExtractFileName(ExecutableFileName()) + "]\nTargetRes=0\n", 0),
            0u);
}

TEST(SettingsRecordTest, SaveFailureReachesTheCaller) {
  TempDir folder;
  WriteFileBytes(folder / "file", "");
  TSettingsRecord record;
  EXPECT_THROW(record.SaveToIni(folder / "file" + "/q.ini", "u"), EIniFileError);
}

struct SetCase {
  const char* key;
  const char* value;
  bool accepted;
  const char* stored_key;
  const char* stored;
};

class SetValueTest : public ::testing::TestWithParam<SetCase> {};

TEST_P(SetValueTest, AcceptsWhatTheControlCanHold) {
  const SetCase& c = GetParam();
  TSettingsRecord record;
  EXPECT_EQ(record.SetValue(c.key, c.value), c.accepted) << c.key << "=" << c.value;
  if (c.accepted) {
    EXPECT_EQ(Value(record, c.stored_key), c.stored);
  } else {
    EXPECT_EQ(record.Values(), kDefaults);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SetValueTest,
    ::testing::Values(
        SetCase{"TargetRes", "9", true, "TargetRes", "9"},
        SetCase{"targetres", "3", true, "TargetRes", "3"},
        SetCase{"TargetRes", "10", false, "", ""}, SetCase{"TargetRes", "abc", false, "", ""},
        SetCase{"FileFormat", "-1", true, "FileFormat", "-1"},
        SetCase{"FileFormat", "-2", false, "", ""},
        SetCase{"FileFormat", "5", true, "FileFormat", "5"},
        SetCase{"FileFormat", "6", false, "", ""},
        SetCase{"ResampleMode", "5", true, "ResampleMode", "5"},
        SetCase{"OutputMode", "2", false, "", ""},
        SetCase{"SepiaMode", "2", true, "SepiaMode", "1"},
        SetCase{"SepiaMode", "yes", false, "", ""},
        SetCase{"Reduce256ColorMode", "1", true, "Reduce256ColorMode", "1"},
        SetCase{"DstDir", " /a b ", true, "DstDir", " /a b "},
        SetCase{"DstDir", "/a\nFileFormat=3", false, "", ""},
        SetCase{"JPEGQL", "150", true, "JPEGQL", "150"}, SetCase{"JPEGQL", "high", false, "", ""},
        SetCase{"PNGCL", "0", true, "PNGCL", "0"}, SetCase{"NoSuchKey", "1", false, "", ""},
        SetCase{"SetupFormTop", "1", false, "", ""}, SetCase{"Label1", "x", false, "", ""},
        SetCase{"PageControl1", "0", false, "", ""}),
    [](const auto& test_info) {
      const auto& c = test_info.param;
      return std::to_string(test_info.index) + "_" +
             testing::NameOf(std::string(c.key) + "=" + c.value);
    });

TEST(SettingsRecordTest, CopiesAreIndependent) {
  TSettingsRecord original;
  ASSERT_TRUE(original.SetValue("DstDir", "/x"));
  ASSERT_TRUE(original.SetValue("TargetRes", "-1"));
  TSettingsRecord copy(original);
  EXPECT_EQ(copy.Values(), original.Values());
  ASSERT_TRUE(copy.SetValue("DstDir", "/y"));
  EXPECT_EQ(original.Text(TSetting::kDstDir), "/x");
  original = copy;
  EXPECT_EQ(original.Text(TSetting::kDstDir), "/y");
  EXPECT_EQ(original.Choice(TSetting::kTargetRes), -1);
}

TEST(SettingsRecordTest, DefaultIniPathIsBesideTheExecutableWhenThatFolderIsWritable) {
  // The test binary's folder (the build tree) can be written.
  EXPECT_EQ(DefaultIniPath(), ExtractFilePath(ExecutableFileName()) + "quenvale.ini");
  EXPECT_FALSE(DefaultIniSection().empty());
}

}  // namespace
}  // namespace qv
