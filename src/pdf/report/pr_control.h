// TPRControl: the layout tree of the report components (page, panels, items) with bounds in
// layout units, y growing downwards; TRect and TPRCanvas.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace qv {

class TPdfCanvas;

struct TRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  friend bool operator==(const TRect &, const TRect &) = default;
};

enum class TAlign { alNone, alClient };

// What report items draw through: the PDF canvas of the open document.
class TPRCanvas {
 public:
  TPdfCanvas &PdfCanvas() const { return *pdf_canvas_; }
  void SetPdfCanvas(TPdfCanvas *canvas) { pdf_canvas_ = canvas; }

 private:
  TPdfCanvas *pdf_canvas_ = nullptr;
};

class TPRControl {
 public:
  explicit TPRControl(std::string name = {}) : name_(std::move(name)) {}
  virtual ~TPRControl() = default;
  TPRControl(const TPRControl &) = delete;
  TPRControl &operator=(const TPRControl &) = delete;

  const std::string &Name() const { return name_; }
  // The class name shown in parent-rule messages.
  virtual const char *ClassName() const = 0;
  // Panels and pages have a window; items do not (they print before the child panels).
  virtual bool HasWindow() const = 0;

  // Takes child over and makes this its parent (the child's parent rule may refuse it).
  template <class T>
  T &AddChild(std::unique_ptr<T> child) {
    static_cast<const TPRControl &>(*child).CheckParent(this);
    T &added = *child;
    child->parent_ = this;
    children_.push_back(std::move(child));
    return added;
  }
  TPRControl *Parent() const { return parent_; }
  const std::vector<std::unique_ptr<TPRControl>> &Children() const { return children_; }

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  virtual void SetBounds(int left, int top, int width, int height);
  void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
  void SetHeight(int height) { SetBounds(left_, top_, width_, height); }
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align) { align_ = align; }

 protected:
  // Throws when parent may not hold this control; any parent by default.
  virtual void CheckParent(TPRControl *parent) const;

 private:
  std::string name_;
  TPRControl *parent_ = nullptr;
  std::vector<std::unique_ptr<TPRControl>> children_;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  TAlign align_ = TAlign::alNone;
};

}  // namespace qv
