// TPDForm: the page form of one PDF page (page, client panel, JPEG item), never shown.
#pragma once

#include <memory>

namespace qv {

class TPRJpegImage;
class TPRLayoutPanel;
class TPRPage;

class TPDForm {
 public:
  // PDFPage 596 x 842 with margins 0; PDFPanel client-aligned at (1, 1), 594 x 840; PDFJPEG
  // client-aligned in the panel at (0, 0), 594 x 840, not shared, stretched, printable.
  TPDForm();
  ~TPDForm();
  TPDForm(const TPDForm &) = delete;
  TPDForm &operator=(const TPDForm &) = delete;

  TPRPage &PDFPage() { return *page_; }
  TPRLayoutPanel &PDFPanel() { return *panel_; }
  TPRJpegImage &PDFJPEG() { return *jpeg_; }

 private:
  std::unique_ptr<TPRPage> page_;
  TPRLayoutPanel *panel_ = nullptr;
  TPRJpegImage *jpeg_ = nullptr;
};

}  // namespace qv
