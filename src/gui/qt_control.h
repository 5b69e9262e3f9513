// Qt widgets seen through the settings layer's control tree (kind, name, children, value).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/control_tree.h"

class QWidget;

namespace qv::gui {

// The widget property that gives a setting's optional default (see IControl::OptionalDefault).
inline constexpr char kOptionalDefaultProperty[] = "qvOptionalDefault";

// One widget of a form: line edits (spin and ellipsis edits included) are edits, check boxes,
// radio buttons, TRadioGroup, list and combo boxes hold their values; everything else is
// kOther and lists its child widgets, windows of their own (dialogs, menus) left out.
class TQtControl : public IControl {
 public:
  explicit TQtControl(QWidget* widget);
  ~TQtControl() override;

  TControlKind Kind() const override { return kind_; }
  std::string Name() const override;
  // The widget's "qvOptionalDefault" property, when it has one.
  std::optional<std::string> OptionalDefault() const override;
  // Children are listed once, in creation order, at the first call.
  std::size_t ChildCount() const override;
  IControl* Child(std::size_t index) override;

  std::string Text() const override;
  void SetText(const std::string& text) override;
  bool Checked() const override;
  void SetChecked(bool checked) override;
  int ItemIndex() const override;
  void SetItemIndex(int index) override;
  int ItemCount() const override;

 private:
  QWidget* widget_;
  void ListChildren() const;

  TControlKind kind_;
  mutable bool listed_ = false;
  mutable std::vector<std::unique_ptr<TQtControl>> children_;
};

// A top-level form: position and outer size in screen pixels; its children are the widget's.
class TQtForm : public IForm {
 public:
  explicit TQtForm(QWidget* form);

  std::string Name() const override { return control_.Name(); }
  std::size_t ChildCount() const override { return control_.ChildCount(); }
  IControl* Child(std::size_t index) override { return control_.Child(index); }

  int Top() const override;
  int Left() const override;
  int Height() const override;
  int Width() const override;
  void SetTop(int top) override;
  void SetLeft(int left) override;
  void SetHeight(int height) override;
  void SetWidth(int width) override;

 private:
  QWidget* form_;
  TQtControl control_;
};

}  // namespace qv::gui
