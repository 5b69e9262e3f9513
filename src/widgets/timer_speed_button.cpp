// TTimerSpeedButton: a flat arrow button that repeats its click while it is held down.
#include "widgets/timer_speed_button.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace qv::widgets {

TTimerSpeedButton::TTimerSpeedButton(TSpinDirection direction, QWidget* parent)
    : QAbstractButton(parent), direction_(direction) {
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::ArrowCursor);
  connect(&repeat_timer_, &QTimer::timeout, this, [this] { TimerExpired(); });
}

void TTimerSpeedButton::SetFocusMark(bool shown) {
  focus_mark_ = shown;
  update();
}

void TTimerSpeedButton::TimerExpired() {
  repeat_timer_.setInterval(kRepeatPause);
  // Only while the button is held and the mouse is still over it.
  if (held_ && isDown() && OnClick) OnClick();
}

void TTimerSpeedButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !isEnabled()) {
    event->ignore();
    return;
  }
  if (OnMouseDown) OnMouseDown();
  held_ = true;
  setDown(true);
  repeat_timer_.start(kInitRepeatPause);
  if (OnClick) OnClick();
  event->accept();
}

void TTimerSpeedButton::mouseMoveEvent(QMouseEvent* event) {
  if (held_) setDown(rect().contains(event->position().toPoint()));
  event->accept();
}

void TTimerSpeedButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  held_ = false;
  setDown(false);
  repeat_timer_.stop();
  event->accept();
}

void TTimerSpeedButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionButton button;
  button.initFrom(this);
  button.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
  style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &button, &painter, this);
  QStyleOption arrow;
  arrow.initFrom(this);
  arrow.rect = rect().adjusted(3, 2, -3, -2).translated(isDown() ? 1 : 0, isDown() ? 1 : 0);
  style()->drawPrimitive(direction_ == TSpinDirection::Up ? QStyle::PE_IndicatorArrowUp
                                                          : QStyle::PE_IndicatorArrowDown,
                         &arrow, &painter, this);
  if (focus_mark_) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(3, 3, -3, -3);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
}

}  // namespace qv::widgets
