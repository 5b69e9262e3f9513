// TPRPanel and TPRLayoutPanel printing.
#include "pdf/report/pr_panel.h"

#include "pdf/report/pr_item.h"
#include "pdf/report/pr_page.h"
#include "runtime/exceptions.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

TPRPanel::TPRPanel(std::string name) : TPRControl(std::move(name)) {
  TPRControl::SetBounds(0, 0, 0, 100);
}

void TPRPanel::Print(TPRCanvas &canvas, const TRect &rect) {
  auto moved = [&](const TPRControl &child) {
    TRect bounds = child.BoundsRect();
    return TRect{bounds.left + rect.left, bounds.top + rect.top, bounds.right + rect.left,
                 bounds.bottom + rect.top};
  };
  // Controls without a window come first, as the framework keeps them.
  for (const auto &child : Children())
    if (auto *item = dynamic_cast<TPRItem *>(child.get()); item && item->Printable)
      item->Print(canvas, moved(*item));
  for (const auto &child : Children())
    if (auto *panel = dynamic_cast<TPRPanel *>(child.get())) panel->Print(canvas, moved(*panel));
}

TPRPage *TPRPanel::Page() const {
  for (TPRControl *parent = Parent(); parent != nullptr; parent = parent->Parent()) {
    if (auto *page = dynamic_cast<TPRPage *>(parent)) return page;
    if (dynamic_cast<TPRPanel *>(parent) == nullptr) return nullptr;
  }
  return nullptr;
}

void TPRLayoutPanel::Print(TPRCanvas &canvas, const TRect &rect) {
  if (BeforePrint) BeforePrint(*this, canvas, rect);
  TPRPanel::Print(canvas, rect);
  if (AfterPrint) AfterPrint(*this, canvas, rect);
}

void TPRLayoutPanel::CheckParent(TPRControl *parent) const {
  if (parent == nullptr || dynamic_cast<TPRPanel *>(parent) || dynamic_cast<TPRPage *>(parent))
    return;
  throw Exception(FormatText(Tr("TPRPage can not set on %s"), {parent->ClassName()}));
}

}  // namespace qv
