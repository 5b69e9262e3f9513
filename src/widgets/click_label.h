// TClickLabel: a line of text that can be clicked, as a link is.
#pragma once

#include <QLabel>
#include <functional>

namespace qv::widgets {

// A label that shows the pointing hand while OnClick is set, and raises OnClick when the left
// button is pressed and released on it (or, when it has the focus, on Space or Enter).
class TClickLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TClickLabel(QWidget* parent = nullptr);

  // Sets (or, with an empty function, clears) what a click does.
  void SetOnClick(std::function<void()> on_click);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::function<void()> on_click_;
  bool pressed_ = false;
};

}  // namespace qv::widgets
