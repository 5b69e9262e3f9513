// TClickLabel: a line of text that can be clicked, as a link is.
#include "widgets/click_label.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <utility>

namespace qv::widgets {

TClickLabel::TClickLabel(QWidget* parent) : QLabel(parent) {}

void TClickLabel::SetOnClick(std::function<void()> on_click) {
  on_click_ = std::move(on_click);
  if (on_click_)
    setCursor(Qt::PointingHandCursor);
  else
    unsetCursor();
  setFocusPolicy(on_click_ ? Qt::TabFocus : Qt::NoFocus);
}

void TClickLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton && on_click_;
  if (pressed_)
    event->accept();
  else
    QLabel::mousePressEvent(event);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  // As a button does: the click counts when the button is let go over the label.
  const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->pos());
  pressed_ = false;
  if (!click) {
    QLabel::mouseReleaseEvent(event);
    return;
  }
  event->accept();
  if (on_click_) on_click_();
}

void TClickLabel::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (on_click_ && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
    on_click_();
    return;
  }
  QLabel::keyPressEvent(event);
}

}  // namespace qv::widgets
