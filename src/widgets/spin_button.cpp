// TSpinButton: the up and down halves beside a spin edit.
#include "widgets/spin_button.h"

#include <QKeyEvent>
#include <algorithm>

namespace qv::widgets {

TSpinButton::TSpinButton(QWidget* parent)
    : QWidget(parent),
      up_(new TTimerSpeedButton(TSpinDirection::Up, this)),
      down_(new TTimerSpeedButton(TSpinDirection::Down, this)),
      focused_(up_) {
  setObjectName(QStringLiteral("SpinButton"));
  setCursor(Qt::ArrowCursor);
  setFocusPolicy(Qt::NoFocus);
  up_->setObjectName(QStringLiteral("UpButton"));
  down_->setObjectName(QStringLiteral("DownButton"));
  auto focus_edit = [this] {
    if (focus_control_ && focus_control_->isEnabled())
      focus_control_->setFocus(Qt::MouseFocusReason);
  };
  up_->OnMouseDown = focus_edit;
  down_->OnMouseDown = focus_edit;
  up_->OnClick = [this] {
    if (OnUpClick) OnUpClick();
  };
  down_->OnClick = [this] {
    if (OnDownClick) OnDownClick();
  };
  setMinimumWidth(kMinimumWidth);
}

void TSpinButton::resizeEvent(QResizeEvent*) {
  // Upper half and the rest, overlapping by one pixel.
  int w = std::max(width(), kMinimumWidth);
  int half = height() / 2;
  up_->setGeometry(0, 0, w, half + 1);
  down_->setGeometry(0, half, w, height() - half);
}

void TSpinButton::FocusHalf(TTimerSpeedButton* half) {
  focused_ = half;
  up_->SetFocusMark(hasFocus() && focused_ == up_);
  down_->SetFocusMark(hasFocus() && focused_ == down_);
}

void TSpinButton::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
      if (focused_->OnClick) focused_->OnClick();
      break;
    case Qt::Key_Up:
      FocusHalf(up_);
      if (OnUpClick) OnUpClick();
      break;
    case Qt::Key_Down:
      FocusHalf(down_);
      if (OnDownClick) OnDownClick();
      break;
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

}  // namespace qv::widgets
