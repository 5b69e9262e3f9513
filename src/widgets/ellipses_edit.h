// TEllipsesEdit: a one-line edit with a "..." button at its right end.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QLineEdit>
#include <functional>

namespace qv::widgets {

enum class TEditStyle { esNormal, esEllipses, esAlwaysEllipses };

// The flat button with three black dots; looks pressed while held, shows the arrow cursor.
class TEllipsesButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TEllipsesButton(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class TEllipsesEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TEllipsesEdit(QWidget* parent = nullptr);

  TEditStyle EditStyle() const { return edit_style_; }
  void SetEditStyle(TEditStyle style);
  // Background while focused (Color) and while not focused (DeactiveColor); both white at first.
  QColor Color() const { return color_; }
  void SetColor(const QColor& color);
  QColor DeactiveColor() const { return deactive_color_; }
  void SetDeactiveColor(const QColor& color);
  bool FirstCharUpper() const { return first_char_upper_; }
  void SetFirstCharUpper(bool value) { first_char_upper_ = value; }

  // Raised by the button and by Ctrl+Enter while the button is shown; sender is the edit.
  std::function<void(TEllipsesEdit* sender)> OnButtonClick;

  TEllipsesButton* Button() const { return button_; }
  // True when the button is shown in the edit's present state (style and focus).
  bool ButtonShown() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void LayoutButton();
  void ApplyBackground(bool focused);
  void ButtonClicked();

  TEllipsesButton* button_;
  TEditStyle edit_style_ = TEditStyle::esEllipses;
  QColor color_ = Qt::white;
  QColor deactive_color_ = Qt::white;
  bool first_char_upper_ = false;
};

}  // namespace qv::widgets
