// An in-memory control tree: the controls of a form as plain values, with no window system.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/control_tree.h"

namespace qv {

// One control holding the value its kind has. It also serves as a form (the root of a walk),
// with a position and size. Children are owned and kept in the order they were added.
class TModelControl : public IForm {
 public:
  TModelControl(TControlKind kind, std::string name);

  // Appends a child and returns it (it lives as long as this control).
  TModelControl& Add(TControlKind kind, std::string name);
  // The first control called name in this subtree (this one included), depth first; nullptr if
  // none.
  TModelControl* Find(const std::string& name);
  const TModelControl* Find(const std::string& name) const;

  void SetTag(std::int32_t tag) { tag_ = tag; }
  // See IControl::OptionalDefault.
  void SetOptionalDefault(std::string text) { optional_default_ = std::move(text); }
  std::optional<std::string> OptionalDefault() const override { return optional_default_; }
  // Item captions of a radio group, list box or combo box; their number is ItemCount().
  void SetItems(std::vector<std::string> items) { items_ = std::move(items); }
  const std::vector<std::string>& Items() const { return items_; }
  // The range of a spin field (informational: the text itself is never clamped here).
  void SetSpinRange(int min_value, int max_value) {
    min_value_ = min_value;
    max_value_ = max_value;
  }
  int MinValue() const { return min_value_; }
  int MaxValue() const { return max_value_; }

  TControlKind Kind() const override { return kind_; }
  std::string Name() const override { return name_; }
  std::int32_t Tag() const override { return tag_; }
  std::size_t ChildCount() const override { return children_.size(); }
  IControl* Child(std::size_t index) override {
    return index < children_.size() ? children_[index].get() : nullptr;
  }

  std::string Text() const override { return text_; }
  void SetText(const std::string& text) override { text_ = text; }
  bool Checked() const override { return checked_; }
  void SetChecked(bool checked) override { checked_ = checked; }
  int ItemIndex() const override { return item_index_; }
  // Stored as given (TAutoIni brings it into range first).
  void SetItemIndex(int index) override { item_index_ = index; }
  int ItemCount() const override { return static_cast<int>(items_.size()); }
  std::int32_t Color() const override { return color_; }
  void SetColor(std::int32_t color) override { color_ = color; }
  int HotKey() const override { return hot_key_; }
  void SetHotKey(int shortcut) override { hot_key_ = shortcut; }

  int Top() const override { return top_; }
  int Left() const override { return left_; }
  int Height() const override { return height_; }
  int Width() const override { return width_; }
  void SetTop(int top) override { top_ = top; }
  void SetLeft(int left) override { left_ = left; }
  void SetHeight(int height) override { height_ = height; }
  void SetWidth(int width) override { width_ = width; }

 private:
  TControlKind kind_;
  std::string name_;
  std::int32_t tag_ = 0;
  std::optional<std::string> optional_default_;
  std::vector<std::unique_ptr<TModelControl>> children_;
  std::vector<std::string> items_;
  std::string text_;
  bool checked_ = false;
  int item_index_ = -1;
  std::int32_t color_ = 0;
  int hot_key_ = 0;
  int min_value_ = 0;
  int max_value_ = 0;
  int top_ = 0;
  int left_ = 0;
  int height_ = 0;
  int width_ = 0;
};

}  // namespace qv
