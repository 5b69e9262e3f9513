// TSpinEdit and TSpEdit: a numeric edit with spin buttons, read unclamped until it is left.
#pragma once

#include <QLineEdit>

#include "widgets/spin_button.h"

namespace qv::widgets {

class TSpinEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TSpinEdit(QWidget* parent = nullptr);

  int MinValue() const { return min_value_; }
  void SetMinValue(int value) { min_value_ = value; }
  int MaxValue() const { return max_value_; }
  void SetMaxValue(int value) { max_value_ = value; }
  int Increment() const { return increment_; }
  void SetIncrement(int value) { increment_ = value; }
  bool EditorEnabled() const { return editor_enabled_; }
  void SetEditorEnabled(bool value) { editor_enabled_ = value; }
  // MaxLength and ReadOnly are the line edit's own (maxLength, isReadOnly).

  // The text as a decimal integer, MinValue when it is none; not clamped.
  int Value() const;
  // Stores the decimal text of the clamped value.
  void SetValue(int value);
  // The value clamped to MinValue..MaxValue (unchanged when the two are equal).
  int CheckValue(int value) const;

  // Value + Increment and Value - Increment, clamped; beep when read-only.
  void UpClick();
  void DownClick();

  TSpinButton* Button() const { return button_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool IsValidChar(QChar ch) const;
  void LayoutButton();

  TSpinButton* button_;
  int min_value_ = 0;
  int max_value_ = 0;
  int increment_ = 1;
  bool editor_enabled_ = true;
};

// The spin edit of the settings dialog: right-justified text by default.
class TSpEdit : public TSpinEdit {
  Q_OBJECT

 public:
  explicit TSpEdit(QWidget* parent = nullptr);
  Qt::Alignment Alignment() const { return alignment(); }
  void SetAlignment(Qt::Alignment value) { setAlignment(value); }
};

}  // namespace qv::widgets
