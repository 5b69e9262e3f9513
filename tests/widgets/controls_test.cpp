// The spin edit, its repeat timing, the ellipsis edit, the radio group and the folder picker.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <string>

#include "widgets/ellipses_edit.h"
#include "widgets/qt_app.h"
#include "widgets/radio_group.h"
#include "widgets/sh_browse_for_folder_ex.h"
#include "widgets/spin_edit.h"

namespace qv::widgets {
namespace {

struct SpinCase {
  int min_value, max_value, max_length;
  const char* text;
  int value;                // read before leaving: unclamped
  const char* after_leave;  // text once the field is left
};

class SpinEditClamp : public ::testing::TestWithParam<SpinCase> {};

TEST_P(SpinEditClamp, ValueIsReadUnclampedAndClampedOnLeave) {
  qv::testing::App();
  const SpinCase& c = GetParam();
  QWidget form;
  auto* edit = new TSpEdit(&form);
  auto* other = new QLineEdit(&form);
  edit->SetMinValue(c.min_value);
  edit->SetMaxValue(c.max_value);
  edit->setMaxLength(c.max_length);
  form.show();
  edit->setFocus();
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return edit->hasFocus(); }));
  edit->selectAll();
  QTest::keyClicks(edit, QString::fromLatin1(c.text));
  EXPECT_EQ(edit->Value(), c.value);
  other->setFocus();
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return other->hasFocus(); }));
  EXPECT_EQ(edit->text(), QString::fromLatin1(c.after_leave));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpinEditClamp,
    ::testing::Values(SpinCase{1, 100, 3, "150", 150, "100"},  // JPEGQL typed 150
                      SpinCase{1, 100, 3, "0", 0, "1"}, SpinCase{1, 100, 3, "85", 85, "85"},
                      SpinCase{1, 100, 3, "1234", 123, "100"},  // MaxLength 3 keeps "123"
                      SpinCase{0, 9, 1, "95", 9, "9"},          // PNGCL holds one character
                      SpinCase{1, 100, 3, "-", 1, "1"},         // no integer: MinValue, rewritten
                      SpinCase{5, 5, 3, "999", 999, "999"}),    // equal bounds clamp nothing
    [](const ::testing::TestParamInfo<SpinCase>& param) {
      return "Case" + std::to_string(param.index);
    });

TEST(SpinEdit, RefusesLettersAndStepsWithinBounds) {
  qv::testing::App();
  TSpEdit edit;
  edit.SetMinValue(0);
  edit.SetMaxValue(9);
  edit.setMaxLength(1);
  edit.setText(QStringLiteral("9"));
  QTest::keyClick(&edit, Qt::Key_Up);
  EXPECT_EQ(edit.text(), QStringLiteral("9"));
  edit.setText(QStringLiteral("0"));
  QTest::keyClick(&edit, Qt::Key_Down);
  EXPECT_EQ(edit.text(), QStringLiteral("0"));
  QTest::keyClick(&edit, Qt::Key_Up);
  EXPECT_EQ(edit.Value(), 1);

  edit.setText(QString());
  QTest::keyClicks(&edit, QStringLiteral("a"));
  EXPECT_EQ(edit.text(), QString());
  edit.setText(QStringLiteral("abc"));  // text that came from elsewhere (the INI file)
  EXPECT_EQ(edit.Value(), 0);

  edit.setReadOnly(true);
  edit.setText(QStringLiteral("4"));
  edit.UpClick();
  EXPECT_EQ(edit.text(), QStringLiteral("4"));
  EXPECT_EQ(TSpEdit().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

TEST(TimerSpeedButton, FirstRepeatAfter400msThenEvery100ms) {
  qv::testing::App();
  TSpinEdit edit;
  edit.SetMinValue(0);
  edit.SetMaxValue(100);
  edit.setText(QStringLiteral("10"));
  edit.resize(60, 21);
  edit.show();
  TTimerSpeedButton* up = edit.Button()->UpButton();
  QTest::mousePress(up, Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_EQ(edit.Value(), 11);  // the press itself steps once
  EXPECT_TRUE(up->RepeatTimer().isActive());
  EXPECT_EQ(up->RepeatTimer().interval(), TTimerSpeedButton::kInitRepeatPause);
  EXPECT_EQ(TTimerSpeedButton::kInitRepeatPause, 400);
  up->TimerExpired();
  EXPECT_EQ(edit.Value(), 12);
  EXPECT_EQ(up->RepeatTimer().interval(), 100);
  up->TimerExpired();
  EXPECT_EQ(edit.Value(), 13);
  QTest::mouseRelease(up, Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_FALSE(up->RepeatTimer().isActive());
  up->TimerExpired();  // a late tick after the release steps nothing
  EXPECT_EQ(edit.Value(), 13);

  // The real timer: held for 650 ms gives the press, the 400 ms repeat and two 100 ms ones.
  TTimerSpeedButton* down = edit.Button()->DownButton();
  QTest::mousePress(down, Qt::LeftButton, {}, QPoint(2, 2));
  QTest::qWait(650);
  QTest::mouseRelease(down, Qt::LeftButton, {}, QPoint(2, 2));
  int steps = 13 - edit.Value();
  EXPECT_GE(steps, 2);
  EXPECT_LE(steps, 5);
}

TEST(EllipsesEdit, ButtonAndCtrlEnterRaiseOnButtonClick) {
  qv::testing::App();
  QWidget form;
  auto* edit = new TEllipsesEdit(&form);
  auto* other = new QLineEdit(&form);
  edit->setGeometry(0, 0, 200, 22);
  other->setGeometry(0, 30, 50, 22);
  int clicks = 0;
  TEllipsesEdit* sender = nullptr;
  edit->OnButtonClick = [&](TEllipsesEdit* s) {
    ++clicks;
    sender = s;
  };
  form.show();
  other->setFocus();
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return other->hasFocus(); }));
  // esEllipses: no button without the focus, and Ctrl+Enter does nothing.
  EXPECT_FALSE(edit->Button()->isVisible());
  QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(clicks, 0);

  edit->SetEditStyle(TEditStyle::esAlwaysEllipses);
  ASSERT_TRUE(edit->Button()->isVisible());
  // The button stands inside the right end and the text stops before it.
  EXPECT_LE(edit->Button()->geometry().right(), edit->width() - 1);
  EXPECT_GE(edit->textMargins().right(), edit->Button()->width());
  QTest::mouseClick(edit->Button(), Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(sender, edit);
  QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(clicks, 2);

  edit->setText(QStringLiteral("/tmp/out"));
  edit->deselect();
  QTest::keyClick(edit, Qt::Key_Return);  // plain Enter: swallowed, text selected
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(edit->selectedText(), QStringLiteral("/tmp/out"));
}

TEST(EllipsesEdit, FirstCharUpperAndDeactiveColor) {
  qv::testing::App();
  QWidget form;
  auto* edit = new TEllipsesEdit(&form);
  auto* other = new QLineEdit(&form);
  edit->SetFirstCharUpper(true);
  edit->SetDeactiveColor(Qt::yellow);
  form.show();
  edit->setFocus();
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return edit->hasFocus(); }));
  EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(Qt::white));
  QTest::keyClicks(edit, QStringLiteral("abc"));
  EXPECT_EQ(edit->text(), QStringLiteral("Abc"));
  edit->setText(QStringLiteral("xyz"));
  other->setFocus();
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return other->hasFocus(); }));
  EXPECT_EQ(edit->text(), QStringLiteral("Xyz"));
  EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(Qt::yellow));
}

TEST(RadioGroup, ItemIndexIsClampedAndRaisesOnClick) {
  qv::testing::App();
  TRadioGroup group(QStringLiteral("g"), {QStringLiteral("a"), QStringLiteral("b"),
                                          QStringLiteral("c"), QStringLiteral("d")});
  int clicks = 0;
  group.OnClick = [&](TRadioGroup*) { ++clicks; };
  group.SetItemIndex(7);
  EXPECT_EQ(group.ItemIndex(), 3);
  EXPECT_TRUE(group.Button(3)->isChecked());
  group.SetItemIndex(-5);
  EXPECT_EQ(group.ItemIndex(), -1);
  for (int i = 0; i < group.Count(); ++i) EXPECT_FALSE(group.Button(i)->isChecked());
  group.Button(1)->click();
  EXPECT_EQ(group.ItemIndex(), 1);
  EXPECT_FALSE(group.Button(3)->isChecked());
  EXPECT_EQ(clicks, 3);
}

TEST(SHBrowseForFolderEx, StartsAtTheNamedFolderOnlyWhenItIsAFolder) {
  qv::testing::App();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TSHBrowseForFolderEx picker;
  picker.SelectFolder = TSelectFolder::sfManual;
  picker.SelectFolderName = dir.path();
  EXPECT_EQ(picker.StartFolder(), dir.path());
  QString special = TSHBrowseForFolderEx::SpecialFolderPath(TSelectFolder::sfManual);
  picker.SelectFolderName = dir.filePath(QStringLiteral("missing"));
  EXPECT_EQ(picker.StartFolder(), special);
  QFile file(dir.filePath(QStringLiteral("file.txt")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  picker.SelectFolderName = file.fileName();
  EXPECT_EQ(picker.StartFolder(), special);
  picker.SelectFolder = TSelectFolder::sfDrives;
  picker.SelectFolderName = dir.path();  // not sfManual: the name plays no part
  EXPECT_EQ(picker.StartFolder(), QStringLiteral("/"));
}

}  // namespace
}  // namespace qv::widgets
