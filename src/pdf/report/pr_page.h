// TPRPage: one page layout (size, margins, panels) and its printing onto a PDF page.
#pragma once

#include <functional>
#include <memory>

#include "pdf/report/pr_control.h"

namespace qv {

class TPdfDoc;

class TPRPage : public TPRControl {
 public:
  // 596 x 842 with margins of 32; owns a measuring document of its own.
  explicit TPRPage(std::string name = {});
  ~TPRPage() override;
  const char *ClassName() const override { return "TPRPage"; }
  bool HasWindow() const override { return true; }

  // A size change lays the client-aligned panels out again.
  void SetBounds(int left, int top, int width, int height) override;
  int MarginTop() const { return margin_top_; }
  int MarginLeft() const { return margin_left_; }
  int MarginRight() const { return margin_right_; }
  int MarginBottom() const { return margin_bottom_; }
  // A margin m is taken only when it differs, m >= 0 and m < width / 2; others are ignored.
  void SetMarginTop(int margin) { SetMargin(margin_top_, margin); }
  void SetMarginLeft(int margin) { SetMargin(margin_left_, margin); }
  void SetMarginRight(int margin) { SetMargin(margin_right_, margin); }
  void SetMarginBottom(int margin) { SetMargin(margin_bottom_, margin); }
  // Gives each client-aligned panel the page area inset by the margins and the 1-unit bevel.
  void Layout();

  std::function<void(TPRPage &, TPRCanvas &)> OnPrintPage;
  bool Visible = true;

  // Sets the PDF page's height and width, calls OnPrintPage, prints the panels in order.
  void Print(TPRCanvas &canvas);

 private:
  void SetMargin(int &field, int margin);
  int margin_top_ = 32;
  int margin_left_ = 32;
  int margin_right_ = 32;
  int margin_bottom_ = 32;
  std::unique_ptr<TPdfDoc> measuring_doc_;
};

}  // namespace qv
