// TPRPanel and TPRLayoutPanel: containers of report items on a page.
#pragma once

#include <functional>

#include "pdf/report/pr_control.h"

namespace qv {

class TPRPage;

class TPRPanel : public TPRControl {
 public:
  // 100 high.
  explicit TPRPanel(std::string name = {});
  const char *ClassName() const override { return "TPRPanel"; }
  bool HasWindow() const override { return true; }
  // Prints the items (in the order added), then the child panels, each with its bounds moved by
  // rect's left and top; items that are not printable are passed over.
  virtual void Print(TPRCanvas &canvas, const TRect &rect);
  // The page that holds the panel, through parent panels; nullptr when there is none.
  TPRPage *Page() const;
};

class TPRLayoutPanel : public TPRPanel {
 public:
  using TPRPanel::TPRPanel;
  const char *ClassName() const override { return "TPRLayoutPanel"; }
  std::function<void(TPRLayoutPanel &, TPRCanvas &, const TRect &)> BeforePrint;
  std::function<void(TPRLayoutPanel &, TPRCanvas &, const TRect &)> AfterPrint;
  void Print(TPRCanvas &canvas, const TRect &rect) override;

 protected:
  // Parent none, a panel or a page; else Exception "TPRPage can not set on " and the class.
  void CheckParent(TPRControl *parent) const override;
};

}  // namespace qv
