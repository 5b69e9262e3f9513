// TSpinButton: the up and down halves beside a spin edit.
#pragma once

#include <QWidget>
#include <functional>

#include "widgets/timer_speed_button.h"

namespace qv::widgets {

class TSpinButton : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMinimumWidth = 15;

  explicit TSpinButton(QWidget* parent);

  std::function<void()> OnUpClick;
  std::function<void()> OnDownClick;
  // Receives the focus when a half is pressed with the mouse.
  void SetFocusControl(QWidget* control) { focus_control_ = control; }

  TTimerSpeedButton* UpButton() const { return up_; }
  TTimerSpeedButton* DownButton() const { return down_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FocusHalf(TTimerSpeedButton* half);

  TTimerSpeedButton* up_;
  TTimerSpeedButton* down_;
  TTimerSpeedButton* focused_;
  QWidget* focus_control_ = nullptr;
};

}  // namespace qv::widgets
