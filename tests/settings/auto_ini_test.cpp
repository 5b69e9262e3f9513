// TAutoIni over an in-memory control tree: walk order and matching, position keys, loading with
// the controls' rules, snapshot and restore, failures through the host, the INI path rules.
#include "settings/auto_ini.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "settings/ini_file.h"
#include "settings/model_control.h"
#include "settings/settings_messages.h"
#include "settings/settings_test_support.h"

namespace qv {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;
using testing::TempDir;

class TRecordingHost : public IAutoIniHost {
 public:
  explicit TRecordingHost(std::string exe = "/opt/q/quenvale") : exe_(std::move(exe)) {}
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::string ExecutableFileName() const override { return exe_; }
  std::vector<std::string> messages;

 private:
  std::string exe_;
};

// A form holding one control of every kind, nested the way real forms nest them.
std::unique_ptr<TModelControl> MakeForm() {
  auto form = std::make_unique<TModelControl>(TControlKind::kOther, "TestForm");
  TModelControl& panel = form->Add(TControlKind::kOther, "Panel1");
  panel.Add(TControlKind::kOther, "Label1");
  panel.Add(TControlKind::kEdit, "Edit1").SetText("text");
  TModelControl& spin = panel.Add(TControlKind::kEdit, "Spin1");
  spin.SetText("5");
  spin.Add(TControlKind::kOther, "SpinButton");
  panel.Add(TControlKind::kCheckBox, "Check1").SetChecked(true);
  TModelControl& group = form->Add(TControlKind::kRadioGroup, "Group1");
  group.SetItems({"a", "b", "c"});
  group.SetItemIndex(1);
  group.Add(TControlKind::kRadioButton, "GroupButton0");
  group.Add(TControlKind::kRadioButton, "GroupButton1").SetChecked(true);
  form->Add(TControlKind::kRadioButton, "Radio1");
  TModelControl& list = form->Add(TControlKind::kListBox, "List1");
  list.SetItems({"x", "y"});
  list.SetItemIndex(0);
  TModelControl& combo = form->Add(TControlKind::kComboBox, "Combo1");
  combo.SetItems({"x", "y", "z", "w"});
  combo.SetItemIndex(3);
  form->Add(TControlKind::kShape, "Shape1").SetColor(0x00FF8000);
  form->Add(TControlKind::kHotKey, "HotKey1").SetHotKey(0x4000 | 'S');
  form->Add(TControlKind::kOther, "OKButton");
  form->SetTop(40);
  form->SetLeft(-8);
  form->SetHeight(300);
  form->SetWidth(500);
  return form;
}

class AutoIniTest : public ::testing::Test {
 protected:
  AutoIniTest() : form_(MakeForm()), auto_ini_(*form_, host_) {
    auto_ini_.SetIniPathOverride(folder_ / "t.ini");
    auto_ini_.SetSection("user");
  }
  TModelControl& C(const char* name) { return *form_->Find(name); }
  std::string File() { return ReadFileBytes(folder_ / "t.ini"); }

  TempDir folder_;
  TRecordingHost host_;
  std::unique_ptr<TModelControl> form_;
  TAutoIni auto_ini_;
};

TEST_F(AutoIniTest, SaveWritesEveryKindInWalkOrderWithoutDescendingIntoMatches) {
  auto_ini_.SaveToIni();
  EXPECT_EQ(File(),
            "[user]\nEdit1=text\nSpin1=5\nCheck1=1\nGroup1=1\nRadio1=0\nList1=0\nCombo1=3\n"
            "Shape1=16744448\nHotKey1=16467\n");
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(AutoIniTest, PositionKeysComeFirstAndSizeOnlyWithCheckWinSize) {
  auto_ini_.SetCheckControls(TCheckControls());
  auto_ini_.SetCheckWinSize(true);  // without CheckWinState it does nothing
  auto_ini_.SaveToIni();
  EXPECT_FALSE(std::filesystem::exists(folder_ / "t.ini"));
  auto_ini_.SetCheckWinState(true);
  auto_ini_.SetCheckWinSize(false);
  auto_ini_.SaveToIni();
  EXPECT_EQ(File(), "[user]\nTestFormTop=40\nTestFormLeft=-8\n");
  auto_ini_.SetCheckWinSize(true);
  auto_ini_.SaveToIni();
  EXPECT_EQ(File(),
            "[user]\nTestFormTop=40\nTestFormLeft=-8\nTestFormheight=300\nTestFormwidth=500\n");
}

TEST_F(AutoIniTest, SwitchedOffKindIsWalkedIntoSoItsButtonsTakePart) {
  TCheckControls kinds = TCheckControls::All();
  auto_ini_.SetCheckControls(kinds.Exclude(TCheckControl::ccRadioGroup)
                                 .Exclude(TCheckControl::ccEdit)
                                 .Exclude(TCheckControl::ccListBox)
                                 .Exclude(TCheckControl::ccComboBox)
                                 .Exclude(TCheckControl::ccColor)
                                 .Exclude(TCheckControl::ccHotKey));
  auto_ini_.SaveToIni();
  EXPECT_EQ(File(), "[user]\nCheck1=1\nGroupButton0=0\nGroupButton1=1\nRadio1=0\n");
}

TEST_F(AutoIniTest, CheckTagSkipsOtherTagsWithoutDescending) {
  C("Edit1").SetTag(7);
  C("Group1").SetTag(3);
  C("GroupButton1").SetTag(7);
  auto_ini_.SetCheckTag(true);
  auto_ini_.SetEnableTag(7);
  auto_ini_.StoreState();
  EXPECT_EQ(auto_ini_.StateList(), std::vector<std::string>{"Edit1=text"});
}

TEST_F(AutoIniTest, LoadUsesCurrentValuesAsDefaultsAndPositionDefaultsToZero) {
  auto_ini_.SetCheckWinState(true);
  auto_ini_.SetCheckWinSize(true);
  WriteFileBytes(folder_ / "t.ini", "[other]\nEdit1=foreign\n[USER]\nedit1=  loaded  \n");
  auto_ini_.LoadFromIni();
  EXPECT_EQ(C("Edit1").Text(), "loaded");
  EXPECT_EQ(C("Spin1").Text(), "5");
  EXPECT_TRUE(C("Check1").Checked());
  EXPECT_EQ(C("Group1").ItemIndex(), 1);
  EXPECT_EQ(C("Combo1").ItemIndex(), 3);
  EXPECT_EQ(C("Shape1").Color(), 0x00FF8000);
  EXPECT_EQ(form_->Top(), 0);
  EXPECT_EQ(form_->Left(), 0);
  EXPECT_EQ(form_->Height(), 300);
  EXPECT_EQ(form_->Width(), 500);
}

TEST_F(AutoIniTest, LoadAppliesEachControlsRules) {
  auto_ini_.SetCheckWinState(true);
  WriteFileBytes(folder_ / "t.ini",
                 "[user]\nTestFormTop=0x20\nTestFormLeft=$10\nCheck1=0\nRadio1=2\n"
                 "Group1=7\nList1=5\nCombo1=-1\nShape1=$FF\nHotKey1=$12345\nSpin1=150\n");
  auto_ini_.LoadFromIni();
  EXPECT_EQ(form_->Top(), 32);
  EXPECT_EQ(form_->Left(), 16);
  EXPECT_FALSE(C("Check1").Checked());
  EXPECT_TRUE(C("Radio1").Checked());
  EXPECT_EQ(C("Group1").ItemIndex(), 2);  // clamped to count - 1
  EXPECT_EQ(C("List1").ItemIndex(), -1);  // outside the items: no selection
  EXPECT_EQ(C("Combo1").ItemIndex(), -1);
  EXPECT_EQ(C("Shape1").Color(), 255);
  EXPECT_EQ(C("HotKey1").HotKey(), 0x2345);
  EXPECT_EQ(C("Spin1").Text(), "150");  // text, unclamped
  WriteFileBytes(folder_ / "t.ini", "[user]\nGroup1=-5\nCheck1=yes\nRadio1=junk\n");
  auto_ini_.LoadFromIni();
  EXPECT_EQ(C("Group1").ItemIndex(), -1);
  EXPECT_FALSE(C("Check1").Checked());  // no integer: the current state stays
  EXPECT_TRUE(C("Radio1").Checked());
}

TEST_F(AutoIniTest, SaveThenLoadRoundTripsEveryValue) {
  auto_ini_.SetCheckWinState(true);
  auto_ini_.SetCheckWinSize(true);
  auto_ini_.SaveToIni();
  auto other_form = MakeForm();
  for (const char* name : {"Edit1", "Spin1"}) other_form->Find(name)->SetText("");
  other_form->Find("Check1")->SetChecked(false);
  other_form->Find("Group1")->SetItemIndex(-1);
  other_form->Find("Shape1")->SetColor(0);
  other_form->Find("HotKey1")->SetHotKey(0);
  other_form->SetTop(1);
  TAutoIni other(*other_form, host_);
  other.SetIniPathOverride(folder_ / "t.ini");
  other.SetSection("user");
  other.SetCheckWinState(true);
  other.SetCheckWinSize(true);
  other.LoadFromIni();
  other.StoreState();
  auto_ini_.StoreState();
  EXPECT_EQ(other.StateList(), auto_ini_.StateList());
  EXPECT_EQ(other_form->Top(), 40);
  EXPECT_EQ(other_form->Width(), 500);
}

TEST_F(AutoIniTest, SnapshotFormatAndRestore) {
  auto_ini_.StoreState();
  EXPECT_EQ(auto_ini_.StateList(),
            (std::vector<std::string>{"Edit1=text", "Spin1=5", "Check1=1", "Group1=1", "Radio1=0",
                                      "List1=0", "Combo1=3", "Shape1=16744448", "HotKey1=16467"}));
  C("Edit1").SetText("a=b");
  C("Check1").SetChecked(false);
  C("Group1").SetItemIndex(2);
  C("Radio1").SetChecked(true);
  C("Shape1").SetColor(1);
  auto_ini_.RestoreState();
  EXPECT_TRUE(auto_ini_.StateList().empty());
  EXPECT_EQ(C("Edit1").Text(), "text");
  EXPECT_TRUE(C("Check1").Checked());
  EXPECT_EQ(C("Group1").ItemIndex(), 1);
  EXPECT_FALSE(C("Radio1").Checked());
  EXPECT_EQ(C("Shape1").Color(), 0x00FF8000);
  // A second restore without a snapshot changes nothing.
  C("Edit1").SetText("changed");
  auto_ini_.RestoreState();
  EXPECT_EQ(C("Edit1").Text(), "changed");
}

TEST_F(AutoIniTest, RestoreTakesTextAfterTheFirstEqualsSign) {
  C("Edit1").SetText("x=y=z");
  auto_ini_.StoreState();
  C("Edit1").SetText("");
  auto_ini_.RestoreState();
  EXPECT_EQ(C("Edit1").Text(), "x=y=z");
}

TEST_F(AutoIniTest, SaveDoesNotTouchTheSnapshot) {
  auto_ini_.StoreState();
  C("Edit1").SetText("new");
  auto_ini_.SaveToIni();
  EXPECT_EQ(auto_ini_.StateList().front(), "Edit1=text");
}

TEST_F(AutoIniTest, FailedSaveShowsItsMessageThenPassesTheSameFailureOn) {
  WriteFileBytes(folder_ / "file", "");
  const std::string path = folder_ / "file" + "/t.ini";
  auto_ini_.SetIniPathOverride(path);
  try {
    auto_ini_.SaveToIni();
    FAIL() << "no error";
  } catch (const EIniFileError& error) {
    EXPECT_EQ(error.Message(), path + " に書き込めません");
  }
  EXPECT_EQ(host_.messages, std::vector<std::string>{messages::kCanNotSaveIni});
}

class TThrowingEdit : public TModelControl {
 public:
  TThrowingEdit() : TModelControl(TControlKind::kEdit, "Bad") {}
  void SetText(const std::string&) override { throw Exception("refused"); }
};

TEST(AutoIniFailureTest, FailedLoadShowsItsMessageThenPassesTheSameFailureOn) {
  TempDir folder;
  TThrowingEdit bad;
  struct TOneChild : TModelControl {
    TOneChild(IControl& child) : TModelControl(TControlKind::kOther, "F"), child_(child) {}
    std::size_t ChildCount() const override { return 1; }
    IControl* Child(std::size_t) override { return &child_; }
    IControl& child_;
  } holder(bad);
  TRecordingHost host;
  TAutoIni auto_ini(holder, host);
  auto_ini.SetIniPathOverride(folder / "t.ini");
  EXPECT_THROW(
      {
        try {
          auto_ini.LoadFromIni();
        } catch (const Exception& error) {
          EXPECT_EQ(error.Message(), "refused");
          throw;
        }
      },
      Exception);
  EXPECT_EQ(host.messages, std::vector<std::string>{messages::kCanNotLoadIni});
}

// ---- MakeIniPath ----

TEST(MakeIniPathTest, SectionAndPathFromTheExecutable) {
  TempDir folder;
  TModelControl form(TControlKind::kOther, "F");
  TRecordingHost host(folder / "Quenvale.exe");
  TAutoIni auto_ini(form, host);
  auto_ini.MakeIniPath();
  EXPECT_EQ(auto_ini.Section(), "Quenvale.exe");  // no user name: the executable's file name
  EXPECT_EQ(auto_ini.IniPath(), folder / "Quenvale.ini");
  auto_ini.SetSection("bob");
  auto_ini.SetAIniFileName("other.ini");
  auto_ini.MakeIniPath();
  EXPECT_EQ(auto_ini.Section(), "bob");
  EXPECT_EQ(auto_ini.IniPath(), folder / "other.ini");
}

TEST(MakeIniPathTest, MakeIniWinDirKeepsOnlyTheFileName) {
  TempDir folder;
  std::string old_cwd = std::filesystem::current_path();
  std::filesystem::current_path(folder.Path());
  TModelControl form(TControlKind::kOther, "F");
  TRecordingHost host("/nowhere/bin/quenvale");
  TAutoIni auto_ini(form, host);
  auto_ini.SetMakeIniWinDir(true);
  auto_ini.MakeIniPath();
  EXPECT_EQ(auto_ini.IniPath(), "quenvale.ini");
  std::filesystem::current_path(old_cwd);
}

TEST(MakeIniPathTest, UnwritableExecutableFolderFallsBackToTheUserConfigFolder) {
  TempDir folder;
  // Tests may run as root, which ignores permission bits: a regular file standing where the
  // executable's folder should be makes that folder unwritable for anyone.
  WriteFileBytes(folder / "usr", "");
  const char* old_xdg = std::getenv("XDG_CONFIG_HOME");
  std::string saved = old_xdg ? old_xdg : "";
  ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
  TModelControl form(TControlKind::kOther, "F");
  form.Add(TControlKind::kEdit, "E").SetText("v");
  TRecordingHost host(folder / "usr" + "/quenvale");
  TAutoIni auto_ini(form, host);
  auto_ini.SetSection("u");
  auto_ini.SaveToIni();
  EXPECT_EQ(auto_ini.IniPath(), folder / "config/quenvale/quenvale.ini");
  EXPECT_EQ(ReadFileBytes(auto_ini.IniPath()), "[u]\nE=v\n");
  form.Find("E")->SetText("");
  auto_ini.LoadFromIni();  // reads from the same place
  EXPECT_EQ(form.Find("E")->Text(), "v");
  if (old_xdg)
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace qv
