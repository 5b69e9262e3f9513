// TPDForm as it is loaded.
#include "pdf/report/pd_form.h"

#include "pdf/report/pr_jpeg_image.h"
#include "pdf/report/pr_page.h"
#include "pdf/report/pr_panel.h"

namespace qv {

TPDForm::TPDForm() : page_(std::make_unique<TPRPage>("PDFPage")) {
  page_->SetMarginTop(0);
  page_->SetMarginLeft(0);
  page_->SetMarginRight(0);
  page_->SetMarginBottom(0);
  auto panel = std::make_unique<TPRLayoutPanel>("PDFPanel");
  panel->SetAlign(TAlign::alClient);
  panel_ = &page_->AddChild(std::move(panel));
  page_->Layout();
  auto jpeg = std::make_unique<TPRJpegImage>("PDFJPEG");
  jpeg->SetAlign(TAlign::alClient);
  jpeg->SetBounds(0, 0, panel_->Width(), panel_->Height());
  jpeg->SharedImage = false;
  jpeg->Stretch = true;
  jpeg->Printable = true;
  jpeg_ = &panel_->AddChild(std::move(jpeg));
}

TPDForm::~TPDForm() = default;

}  // namespace qv
