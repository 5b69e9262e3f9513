// TEllipsesEdit: a one-line edit with a "..." button at its right end.
#include "widgets/ellipses_edit.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace qv::widgets {

TEllipsesButton::TEllipsesButton(QWidget* parent) : QAbstractButton(parent) {
  setObjectName(QStringLiteral("EllipsesButton"));
  setCursor(Qt::ArrowCursor);
  setFocusPolicy(Qt::NoFocus);
}

void TEllipsesButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionButton option;
  option.initFrom(this);
  option.features = QStyleOptionButton::Flat;
  if (isDown()) {
    option.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);
  }
  // Three 2x2 black dots in a row, centred; shifted by one pixel while pressed.
  int shift = isDown() ? 1 : 0;
  int x = (width() - 10) / 2 + shift;
  int y = (height() - 2) / 2 + shift;
  for (int i = 0; i < 3; ++i) painter.fillRect(x + i * 4, y, 2, 2, Qt::black);
}

TEllipsesEdit::TEllipsesEdit(QWidget* parent)
    : QLineEdit(parent), button_(new TEllipsesButton(this)) {
  connect(button_, &QAbstractButton::clicked, this, [this] { ButtonClicked(); });
  ApplyBackground(false);
  LayoutButton();
}

void TEllipsesEdit::SetEditStyle(TEditStyle style) {
  edit_style_ = style;
  LayoutButton();
}

void TEllipsesEdit::SetColor(const QColor& color) {
  color_ = color;
  ApplyBackground(hasFocus());
}

void TEllipsesEdit::SetDeactiveColor(const QColor& color) {
  deactive_color_ = color;
  ApplyBackground(hasFocus());
}

bool TEllipsesEdit::ButtonShown() const {
  switch (edit_style_) {
    case TEditStyle::esNormal: return false;
    case TEditStyle::esEllipses: return hasFocus();
    case TEditStyle::esAlwaysEllipses: return true;
  }
  return false;
}

void TEllipsesEdit::LayoutButton() {
  bool shown = ButtonShown();
  int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
  int button_width = shown ? style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this) : 0;
  button_->setGeometry(width() - frame - button_width, frame, button_width, height() - 2 * frame);
  button_->setVisible(shown);
  // The text never runs under the button.
  setTextMargins(0, 0, shown ? button_width + 2 + 2 : 2, 0);
}

void TEllipsesEdit::ApplyBackground(bool focused) {
  QPalette colours = palette();
  colours.setColor(QPalette::Base, focused ? color_ : deactive_color_);
  setPalette(colours);
}

void TEllipsesEdit::ButtonClicked() {
  if (OnButtonClick) OnButtonClick(this);
}

void TEllipsesEdit::keyPressEvent(QKeyEvent* event) {
  bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter) {
    if ((event->modifiers() & Qt::ControlModifier) && ButtonShown())
      ButtonClicked();
    else
      selectAll();  // Enter is swallowed; the text stays, selected in full.
    event->accept();
    return;
  }
  QString typed = event->text();
  if (first_char_upper_ && typed.size() == 1 && typed[0].isPrint() &&
      (text().isEmpty() || selectedText() == text())) {
    insert(typed.toUpper());
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void TEllipsesEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  LayoutButton();
  ApplyBackground(true);
}

void TEllipsesEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (first_char_upper_ && !text().isEmpty() && text()[0] != text()[0].toUpper())
    setText(text()[0].toUpper() + text().mid(1));
  LayoutButton();
  ApplyBackground(false);
}

void TEllipsesEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  LayoutButton();
}

}  // namespace qv::widgets
