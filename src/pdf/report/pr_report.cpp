// TPReport.
#include "pdf/report/pr_report.h"

#include <ctime>

#include "pdf/document/pdf_canvas.h"
#include "pdf/document/pdf_info.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/report/pr_page.h"
#include "runtime/buffered_write_stream.h"
#include "runtime/stream.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

namespace {

// Days since 30 December 1899 (the framework's date-time) of this moment.
double Now() { return static_cast<double>(std::time(nullptr)) / 86400.0 + 25569.0; }

}  // namespace

TPReport::TPReport() : creation_date_(Now()) {}

TPReport::~TPReport() { Abort(); }

void TPReport::CheckClosed(const char *setter) const {
  if (doc_) throw EPdfInvalidOperation(FormatText(Tr("%s --invalid operation."), {setter}));
}

void TPReport::SetAuthor(std::string value) {
  CheckClosed("SetAuthor");
  author_ = std::move(value);
}
void TPReport::SetCreationDate(double value) {
  CheckClosed("SetCreationDate");
  creation_date_ = value;
}
void TPReport::SetCreator(std::string value) {
  CheckClosed("SetCreator");
  creator_ = std::move(value);
}
void TPReport::SetKeywords(std::string value) {
  CheckClosed("SetKeyWords");
  keywords_ = std::move(value);
}
void TPReport::SetModDate(double value) {
  CheckClosed("SetModDate");
  mod_date_ = value;
}
void TPReport::SetSubject(std::string value) {
  CheckClosed("SetSubject");
  subject_ = std::move(value);
}
void TPReport::SetTitle(std::string value) {
  CheckClosed("SetTitle");
  title_ = std::move(value);
}
void TPReport::SetPageLayout(TPdfPageLayout value) {
  CheckClosed("SetPageLayout");
  page_layout_ = value;
}
void TPReport::SetPageMode(TPdfPageMode value) {
  CheckClosed("SetPageMode");
  page_mode_ = value;
}
void TPReport::SetNonFullScreenPageMode(TPdfPageMode value) {
  CheckClosed("SetNonFullScreenPageMode");
  non_full_screen_page_mode_ =
      value == TPdfPageMode::pmFullScreen ? TPdfPageMode::pmUseNone : value;
}
void TPReport::SetUseOutlines(bool value) {
  CheckClosed("SetUseOutlines");
  use_outlines_ = value;
}
void TPReport::SetViewerPreference(TPdfViewerPreferences value) {
  CheckClosed("SetViewerPreference");
  viewer_preference_ = value;
}

void TPReport::BeginDoc() {
  Abort();
  auto doc = std::make_unique<TPdfDoc>();
  doc->SetUseOutlines(use_outlines_);
  doc->SetCompressionMethod(compression_method_);
  doc->NewDoc();
  TPdfCatalog &root = doc->Root();
  root.SetPageMode(page_mode_);
  root.SetPageLayout(page_layout_);
  if (non_full_screen_page_mode_ != TPdfPageMode::pmUseNone)
    root.SetNonFullScreenPageMode(non_full_screen_page_mode_);
  if (!viewer_preference_.Empty()) root.SetViewerPreference(viewer_preference_);
  TPdfInfo &info = doc->Info();
  info.SetAuthor(author_);
  info.SetCreationDate();
  info.SetCreator(creator_);
  info.SetKeywords(keywords_);
  info.SetModDate();
  info.SetSubject(subject_);
  info.SetTitle(title_);
  doc_ = std::move(doc);
  page_count_ = 0;
}

void TPReport::Print(TPRPage &page) {
  if (!doc_) throw EInvalidOperation(Tr("document is null.."));
  doc_->AddPage();
  ++page_count_;
  canvas_.SetPdfCanvas(&doc_->Canvas());
  page.Print(canvas_);
}

void TPReport::CheckRoomForPage(std::size_t image_bytes) const {
  if (!doc_) throw EInvalidOperation("document is null..");
  std::int64_t after =
      doc_->EstimatedFileSize() + TPdfDoc::kPageAllowance + static_cast<std::int64_t>(image_bytes);
  if (after > max_file_size_) throw EPdfTooLarge(Tr(pdf_messages::kTooLarge));
}

void TPReport::EndDoc() {
  if (!doc_) throw EInvalidOperation(Tr("document is null.."));
  doc_->Canvas().Page();  // "GetPage --the Page is nil" before any file is created
  TSafeFileStream file(file_name_);
  // The writer emits one small piece per token: they reach the file in large blocks.
  TBufferedWriteStream buffered(file);
  doc_->SaveToStream(buffered);
  buffered.Flush();
  file.Commit();
  Abort();
}

void TPReport::Abort() {
  canvas_.SetPdfCanvas(nullptr);
  doc_.reset();
  page_count_ = 0;
}

}  // namespace qv
