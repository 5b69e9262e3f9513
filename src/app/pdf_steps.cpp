// The PDF steps of a drop: the report is begun once, gets one page form per converted file, and
// writes its file once at the end.
#include "app/pdf_steps.h"

#include <utility>

#include "codecs/jpeg_image.h"
#include "imaging/bitmap.h"
#include "pdf/pd_form.h"
#include "pdf/pdf_graphic.h"
#include "pdf/pr_jpeg_image.h"
#include "pdf/pr_page.h"
#include "pdf/pr_report.h"

namespace qv {

void TPReportDeleter::operator()(TPReport *report) const {
  std::default_delete<TPReport>()(report);
}

TPReportPtr CreatePdfWriter() {
  auto report = std::make_unique<TPReport>();
  report->SetFileName("default.pdf");
  report->SetCreationDate(38032.83064597222);  // as designed; the file carries the time of BeginDoc
  report->SetUseOutlines(false);
  return TPReportPtr(report.release());
}

void BeginPdfDrop(TPReport &report, const std::string &file_name) {
  report.SetFileName(file_name);
  report.SetCompressionMethod(TPdfCompressionMethod::cmFlateDecode);
  report.BeginDoc();
}

TPdfPagePicture MakePdfPagePicture(const TBitmap &image, const std::string &input_file,
                                   bool embed_input_file, int jpeg_quality) {
  // Only the JPEG bytes outlive this step: the JPEG image goes at the end, and the picture
  // shares nothing else with it.
  TJPEGImage jpeg_image;
  if (embed_input_file) {
    jpeg_image.LoadFromFile(input_file);  // the file's own bytes, embedded unchanged
  } else {
    jpeg_image.SetCompressionQuality(jpeg_quality);
    jpeg_image.Assign(image);
    jpeg_image.Compress();
  }
  return {TPdfJpegGraphic(jpeg_image), image.Width(), image.Height()};
}

TPdfPagePicture MakePdfPagePicture(const TJPEGImage &jpeg) {
  TPdfJpegGraphic graphic(jpeg);
  int width = graphic.Width(), height = graphic.Height();
  return {std::move(graphic), width, height};
}

void PrintPdfPage(TPReport &report, const TPdfPagePicture &picture) {
  TPDForm form;
  form.PDFPage().SetWidth(picture.width);
  form.PDFPage().SetHeight(picture.height);
  form.PDFJPEG().SetWidth(picture.width);
  form.PDFJPEG().SetHeight(picture.height);
  form.PDFJPEG().SetPicture(&picture.jpeg);
  report.Print(form.PDFPage());
}

void AddPdfPage(TPReport &report, const TBitmap &image, const std::string &input_file,
                bool embed_input_file, int jpeg_quality) {
  PrintPdfPage(report, MakePdfPagePicture(image, input_file, embed_input_file, jpeg_quality));
}

void EndPdfDrop(TPReport &report) {
  if (!report.HasDoc()) return;
  if (report.PageCount() == 0) {
    // Every file was passed over: no file is written and an existing one stays as it was.
    report.Abort();
    return;
  }
  report.EndDoc();
}

}  // namespace qv
