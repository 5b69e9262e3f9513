// TTimerSpeedButton: a flat arrow button that repeats its click while it is held down.
#pragma once

#include <QAbstractButton>
#include <QTimer>
#include <functional>

namespace qv::widgets {

enum class TSpinDirection { Up, Down };

class TTimerSpeedButton : public QAbstractButton {
  Q_OBJECT

 public:
  static constexpr int kInitRepeatPause = 400;  // ms from the press to the first repeat
  static constexpr int kRepeatPause = 100;      // ms between later repeats

  TTimerSpeedButton(TSpinDirection direction, QWidget* parent);

  // Raised once when the left button goes down and again at every repeat.
  std::function<void()> OnClick;
  // Raised when the left button goes down, before the first click.
  std::function<void()> OnMouseDown;

  // Whether the focus rectangle (inset by 3 pixels) is drawn: the focused half of a spin button.
  void SetFocusMark(bool shown);
  bool FocusMark() const { return focus_mark_; }

  // The repeat timer's step: the next repeat comes after kRepeatPause, and a click is raised
  // while the button is still held down. Public so the timing can be driven without a clock.
  void TimerExpired();
  const QTimer& RepeatTimer() const { return repeat_timer_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TSpinDirection direction_;
  QTimer repeat_timer_;
  bool held_ = false;  // the left button went down here and has not been released
  bool focus_mark_ = false;
};

}  // namespace qv::widgets
