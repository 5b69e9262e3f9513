// TSpinEdit and TSpEdit: a numeric edit with spin buttons, read unclamped until it is left.
#include "widgets/spin_edit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QStyle>
#include <algorithm>
#include <climits>

namespace qv::widgets {

TSpinEdit::TSpinEdit(QWidget* parent) : QLineEdit(parent), button_(new TSpinButton(this)) {
  button_->SetFocusControl(this);
  button_->OnUpClick = [this] { UpClick(); };
  button_->OnDownClick = [this] { DownClick(); };
  setText(QStringLiteral("0"));
  LayoutButton();
}

int TSpinEdit::Value() const {
  bool ok = false;
  int value = text().toInt(&ok, 10);
  return ok ? value : min_value_;
}

int TSpinEdit::CheckValue(int value) const {
  if (min_value_ == max_value_) return value;
  if (value < min_value_) return min_value_;
  if (value > max_value_) return max_value_;
  return value;
}

void TSpinEdit::SetValue(int value) { setText(QString::number(CheckValue(value))); }

void TSpinEdit::UpClick() {
  if (isReadOnly()) {
    QApplication::beep();
    return;
  }
  // Widened so that a step past the int range clamps instead of wrapping.
  long long next = static_cast<long long>(Value()) + increment_;
  SetValue(static_cast<int>(std::clamp<long long>(next, INT_MIN, INT_MAX)));
}

void TSpinEdit::DownClick() {
  if (isReadOnly()) {
    QApplication::beep();
    return;
  }
  long long next = static_cast<long long>(Value()) - increment_;
  SetValue(static_cast<int>(std::clamp<long long>(next, INT_MIN, INT_MAX)));
}

bool TSpinEdit::IsValidChar(QChar ch) const {
  if (ch.isDigit() && ch.unicode() < 128) return true;
  if (ch == u'+' || ch == u'-' || ch == QLocale().decimalPoint().front()) return true;
  return ch.unicode() < 32 && ch != u'\r' && ch != u'\n';
}

void TSpinEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Up) {
    UpClick();
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Down) {
    DownClick();
    event->accept();
    return;
  }
  // With the editor disabled (or read-only) paste and cut do nothing.
  if ((!editor_enabled_ || isReadOnly()) &&
      (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut))) {
    event->accept();
    return;
  }
  if (!editor_enabled_ && (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)) {
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    QApplication::beep();
    event->accept();
    return;
  }
  QString typed = event->text();
  if (!typed.isEmpty() && !(event->modifiers() & Qt::ControlModifier)) {
    for (QChar ch : typed) {
      bool printable = ch.unicode() >= 32;
      if (!IsValidChar(ch) || (!editor_enabled_ && printable)) {
        QApplication::beep();
        event->accept();
        return;
      }
    }
  }
  QLineEdit::keyPressEvent(event);
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // A text that is no integer is rewritten too (as MinValue), not only an out-of-range one.
  bool ok = false;
  text().toInt(&ok, 10);
  int value = Value();
  if (!ok || CheckValue(value) != value) SetValue(value);
}

void TSpinEdit::LayoutButton() {
  int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
  int width_of_button = TSpinButton::kMinimumWidth;
  button_->setGeometry(width() - frame - width_of_button, frame, width_of_button,
                       height() - 2 * frame);
  setTextMargins(0, 0, width_of_button + 2, 0);
}

void TSpinEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  LayoutButton();
}

TSpEdit::TSpEdit(QWidget* parent) : TSpinEdit(parent) {
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

}  // namespace qv::widgets
