// The photo options in the settings file: absent while at their defaults, kept once stored.
#include <gtest/gtest.h>

#include "settings/settings_record.h"
#include "settings/settings_test_support.h"

namespace qv {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;
using testing::TempDir;

constexpr char kDefaultFile[] =
    "[bob]\nTargetRes=0\nFileFormat=0\nSepiaMode=0\nReduce256ColorMode=0\nDstDir=\n"
    "OutputMode=0\nOverWrite=0\nResampleMode=0\nPNGCL=9\nJPEGQL=85\n";

TEST(PhotoSettingsTest, DefaultsStayOutOfTheFileAndOutOfTheListing) {
  TempDir folder;
  TSettingsRecord record;
  record.SaveToIni(folder / "q.ini", "bob");
  EXPECT_EQ(ReadFileBytes(folder / "q.ini"), kDefaultFile);
  EXPECT_FALSE(record.Checked(TSetting::kKeepAspect));
  EXPECT_FALSE(record.Checked(TSetting::kAutoOrient));
  EXPECT_FALSE(record.Checked(TSetting::kKeepMetadata));
  EXPECT_FALSE(record.Checked(TSetting::kCustomSize));
  EXPECT_EQ(record.Number(TSetting::kCustomWidth), 1024);
  EXPECT_EQ(record.Number(TSetting::kCustomHeight), 768);
  for (const auto& [key, value] : record.Values()) EXPECT_NE(key.rfind("Custom", 0), 0u) << key;
  // The six photo options, the two speed options (FastShrink, PNGFilters) and the four of the
  // WebP and AVIF outputs.
  EXPECT_EQ(record.AllValues().size(), record.Values().size() + 12);
}

TEST(PhotoSettingsTest, AChangedOptionIsAppendedAndStaysWhenSwitchedBackOff) {
  TempDir folder;
  const std::string path = folder / "q.ini";
  TSettingsRecord record;
  ASSERT_TRUE(record.SetValue("keepaspect", "1"));  // keys are case-blind, as the file's are
  ASSERT_TRUE(record.SetValue("CustomWidth", "300"));
  record.SaveToIni(path, "bob");
  EXPECT_EQ(ReadFileBytes(path), std::string(kDefaultFile) + "KeepAspect=1\nCustomWidth=300\n");

  TSettingsRecord loaded;
  loaded.LoadFromIni(path, "bob");
  EXPECT_TRUE(loaded.Checked(TSetting::kKeepAspect));
  EXPECT_EQ(loaded.Number(TSetting::kCustomWidth), 300);
  EXPECT_EQ(loaded.Number(TSetting::kCustomHeight), 768);
  // Back at the default, a key the file holds is updated rather than left saying "on".
  ASSERT_TRUE(loaded.SetValue("KeepAspect", "0"));
  ASSERT_TRUE(loaded.SetValue("CustomWidth", "1024"));
  loaded.SaveToIni(path, "bob");
  EXPECT_EQ(ReadFileBytes(path), std::string(kDefaultFile) + "KeepAspect=0\nCustomWidth=1024\n");
}

TEST(PhotoSettingsTest, ValuesAreCheckedLikeTheDialogsFields) {
  TSettingsRecord record;
  EXPECT_TRUE(record.SetValue("CustomSize", "1"));
  EXPECT_TRUE(record.Checked(TSetting::kCustomSize));
  EXPECT_FALSE(record.SetValue("CustomHeight", "tall"));
  EXPECT_TRUE(record.SetValue("CustomHeight", "70000"));  // kept as typed; the job clamps
  EXPECT_EQ(record.Number(TSetting::kCustomHeight), 70000);
  TempDir folder;
  WriteFileBytes(folder / "q.ini", "[bob]\r\nCustomWidth=wide\r\nCustomSize=yes\r\n");
  TSettingsRecord loaded;
  loaded.LoadFromIni(folder / "q.ini", "bob");
  EXPECT_EQ(loaded.Number(TSetting::kCustomWidth), 1);  // not a number: the field's minimum
  EXPECT_FALSE(loaded.Checked(TSetting::kCustomSize));  // not a number: the current state
  // A copy carries the options, defaults included.
  TSettingsRecord copy = record;
  EXPECT_TRUE(copy.Checked(TSetting::kCustomSize));
  EXPECT_EQ(copy.Number(TSetting::kCustomHeight), 70000);
  copy = loaded;
  EXPECT_FALSE(copy.Checked(TSetting::kCustomSize));
}

}  // namespace
}  // namespace qv
