// TPRPage: margins, layout of client-aligned panels, printing.
#include "pdf/report/pr_page.h"

#include "pdf/document/pdf_canvas.h"
#include "pdf/document/pdf_doc.h"
#include "pdf/report/pr_panel.h"

namespace qv {

TPRPage::TPRPage(std::string name)
    : TPRControl(std::move(name)), measuring_doc_(std::make_unique<TPdfDoc>()) {
  TPRControl::SetBounds(0, 0, 596, 842);
  measuring_doc_->NewDocForMeasuring();
}

TPRPage::~TPRPage() = default;

void TPRPage::SetBounds(int left, int top, int width, int height) {
  bool resized = width != Width() || height != Height();
  TPRControl::SetBounds(left, top, width, height);
  if (resized) Layout();
}

void TPRPage::SetMargin(int &field, int margin) {
  if (margin == field || margin < 0 || margin >= Width() / 2) return;
  field = margin;
  Layout();
}

void TPRPage::Layout() {
  for (const auto &child : Children()) {
    if (child->Align() != TAlign::alClient || dynamic_cast<TPRPanel *>(child.get()) == nullptr)
      continue;
    child->SetBounds(margin_left_ + 1, margin_top_ + 1, Width() - margin_left_ - margin_right_ - 2,
                     Height() - margin_top_ - margin_bottom_ - 2);
  }
}

void TPRPage::Print(TPRCanvas &canvas) {
  canvas.PdfCanvas().SetPageHeight(Height());
  canvas.PdfCanvas().SetPageWidth(Width());
  if (OnPrintPage) OnPrintPage(*this, canvas);
  for (const auto &child : Children())
    if (auto *panel = dynamic_cast<TPRPanel *>(child.get()))
      panel->Print(canvas, panel->BoundsRect());
}

}  // namespace qv
