// The PDF steps of a drop: the report is begun once, gets one page form per converted file, and
// writes its file once at the end.
#include "app/pdf_steps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "app/image_io.h"
#include "codecs/jpeg/jpeg_image.h"
#include "imaging/bitmap.h"
#include "pdf/document/pdf_canvas.h"
#include "pdf/images/pdf_graphic.h"
#include "pdf/objects/pdf_dictionary.h"
#include "pdf/objects/pdf_object.h"
#include "pdf/report/pd_form.h"
#include "pdf/report/pr_jpeg_image.h"
#include "pdf/report/pr_page.h"
#include "pdf/report/pr_report.h"
#include "runtime/exceptions.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

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

TPdfJpegGraphic PdfJpegGraphicOf(const TJPEGImage &jpeg) {
  std::shared_ptr<const TJPEGData> data = jpeg.JPEGData();
  // The bytes stay owned by the shared data block; no copy is made.
  std::shared_ptr<const std::vector<std::uint8_t>> bytes(data, &data->Data());
  return TPdfJpegGraphic(std::move(bytes), TJpegFacts{data->Width(), data->Height(),
                                                      data->Components(), data->AdobeInverted()});
}

TPdfPagePicture MakePdfPagePicture(const TBitmap &image, const std::string &input_file,
                                   bool embed_input_file, int jpeg_quality, int rotation,
                                   const TWorkContext &work) {
  // Only the JPEG bytes outlive this step: the JPEG image (and its pixels) goes at the end, and
  // the picture shares nothing else with it.
  TJPEGImage jpeg_image;
  if (embed_input_file) {
    LoadJpegFile(input_file, jpeg_image);  // the file's own bytes, embedded unchanged
  } else {
    jpeg_image.SetCompressionQuality(jpeg_quality);
    jpeg_image.SetWorkContext(work);
    jpeg_image.Assign(image);
    jpeg_image.Compress();
  }
  // A turned page is laid out in the embedded picture's own (unturned) size.
  if (embed_input_file && rotation != 0)
    return {PdfJpegGraphicOf(jpeg_image), jpeg_image.Width(), jpeg_image.Height(), rotation};
  return {PdfJpegGraphicOf(jpeg_image), image.Width(), image.Height(), 0};
}

TPdfPagePicture MakeJpegPdfPagePicture(TJPEGImage &jpeg, int rotation) {
  return {PdfJpegGraphicOf(jpeg), jpeg.Width(), jpeg.Height(), rotation};
}

void PrintPdfPage(TPReport &report, const TPdfPagePicture &picture) {
  // A page that would take the file past its largest size stops the drop here, before the page
  // is begun, so the pages before it stay whole.
  report.CheckRoomForPage(picture.jpeg.Bytes().size());
  TPDForm form;
  form.PDFPage().SetWidth(picture.width);
  form.PDFPage().SetHeight(picture.height);
  form.PDFJPEG().SetWidth(picture.width);
  form.PDFJPEG().SetHeight(picture.height);
  form.PDFJPEG().SetPicture(&picture.jpeg);
  report.Print(form.PDFPage());
  if (picture.rotation != 0)
    report.Canvas().PdfCanvas().Page().Put("Rotate",
                                           std::make_unique<TPdfNumber>(picture.rotation));
}

void AddPdfPage(TPReport &report, const TBitmap &image, const std::string &input_file,
                bool embed_input_file, int jpeg_quality, int rotation) {
  PrintPdfPage(report,
               MakePdfPagePicture(image, input_file, embed_input_file, jpeg_quality, rotation));
}

void AddJpegPdfPage(TPReport &report, TJPEGImage &jpeg, int rotation) {
  PrintPdfPage(report, MakeJpegPdfPagePicture(jpeg, rotation));
}

int EndPdfDrop(TPReport &report) {
  if (!report.HasDoc()) return 0;
  int pages = report.PageCount();
  if (pages == 0) {
    // Every file was passed over: no file is written and an existing one stays as it was.
    report.Abort();
    return 0;
  }
  report.EndDoc();
  return pages;
}

void CheckPdfTarget(const std::string &pdf_file, const std::vector<std::string> &inputs) {
  struct stat target;
  if (::stat(pdf_file.c_str(), &target) != 0) return;  // nothing there yet (or unreachable)
  for (const std::string &input : inputs) {
    struct stat info;
    if (::stat(input.c_str(), &info) == 0 && info.st_dev == target.st_dev &&
        info.st_ino == target.st_ino)
      throw Exception(FormatText(Tr(kPdfTargetIsInputText), {pdf_file}));
  }
  bool is_pdf = false;
  if (S_ISREG(target.st_mode)) {
    if (target.st_size == 0) return;  // an empty file holds nothing to lose
    char head[5] = {};
    int fd = ::open(pdf_file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
      is_pdf = ::read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head) &&
               std::memcmp(head, "%PDF-", sizeof head) == 0;
      ::close(fd);
    }
  }
  if (!is_pdf) throw Exception(FormatText(Tr(kPdfTargetNotPdfText), {pdf_file}));
}

}  // namespace qv
