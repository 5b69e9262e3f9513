// TPReport: owns one PDF document from BeginDoc to EndDoc and prints a page layout per page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "pdf/document/pdf_catalog.h"
#include "pdf/document/pdf_doc.h"
#include "pdf/report/pr_control.h"

namespace qv {

class TPRPage;

class TPReport {
 public:
  // CreationDate is the moment of creation, as days since 30 December 1899.
  TPReport();
  // Aborts an open document.
  ~TPReport();
  TPReport(const TPReport &) = delete;
  TPReport &operator=(const TPReport &) = delete;

  // Frees any open document, then begins a new one with the catalog settings and the
  // information texts (empty texts included) and both dates of this moment.
  void BeginDoc();
  // Adds a page to the open document and lets page print itself onto it (EInvalidOperation
  // "document is null.." when no document is open).
  void Print(TPRPage &page);
  // Writes the open document to FileName through a temporary file renamed over it when
  // complete, then closes the document. No document: EInvalidOperation "document is null..";
  // no page: "GetPage --the Page is nil" before any file is touched; a file that cannot be
  // created: EFCreateError with the path and the reason. On a failure the document stays open.
  void EndDoc();
  // Frees the open document without writing anything.
  void Abort();
  int PageCount() const { return page_count_; }
  bool HasDoc() const { return doc_ != nullptr; }

  // The largest file a document may become: its cross-reference table holds byte offsets that
  // readers take as 32-bit numbers.
  static constexpr std::int64_t kMaxFileSize = 0x7FFFFFFF;
  // Throws EPdfTooLarge when a page holding an image of image_bytes would take the open
  // document past MaxFileSize(); nothing is added either way. Call it before Print.
  void CheckRoomForPage(std::size_t image_bytes) const;
  std::int64_t MaxFileSize() const { return max_file_size_; }
  // A lower limit (for tests of what happens at the limit).
  void SetMaxFileSize(std::int64_t bytes) { max_file_size_ = bytes; }
  TPdfDoc *Doc() const { return doc_.get(); }
  TPRCanvas &Canvas() { return canvas_; }

  // Allowed at any time.
  const std::string &FileName() const { return file_name_; }
  void SetFileName(std::string name) { file_name_ = std::move(name); }
  TPdfCompressionMethod CompressionMethod() const { return compression_method_; }
  void SetCompressionMethod(TPdfCompressionMethod method) { compression_method_ = method; }

  // Only while no document is open; otherwise EPdfInvalidOperation "SetXxx --invalid operation.".
  const std::string &Author() const { return author_; }
  void SetAuthor(std::string value);
  double CreationDate() const { return creation_date_; }
  void SetCreationDate(double value);
  const std::string &Creator() const { return creator_; }
  void SetCreator(std::string value);
  const std::string &Keywords() const { return keywords_; }
  void SetKeywords(std::string value);
  double ModDate() const { return mod_date_; }
  void SetModDate(double value);
  const std::string &Subject() const { return subject_; }
  void SetSubject(std::string value);
  const std::string &Title() const { return title_; }
  void SetTitle(std::string value);
  TPdfPageLayout PageLayout() const { return page_layout_; }
  void SetPageLayout(TPdfPageLayout value);
  TPdfPageMode PageMode() const { return page_mode_; }
  void SetPageMode(TPdfPageMode value);
  TPdfPageMode NonFullScreenPageMode() const { return non_full_screen_page_mode_; }
  // pmFullScreen is stored as pmUseNone.
  void SetNonFullScreenPageMode(TPdfPageMode value);
  bool UseOutlines() const { return use_outlines_; }
  void SetUseOutlines(bool value);
  TPdfViewerPreferences ViewerPreference() const { return viewer_preference_; }
  void SetViewerPreference(TPdfViewerPreferences value);

 private:
  void CheckClosed(const char *setter) const;
  std::string file_name_ = "default.pdf";
  std::string author_;
  double creation_date_;
  std::string creator_;
  std::string keywords_;
  double mod_date_ = 0;
  std::string subject_;
  std::string title_;
  TPdfPageLayout page_layout_ = TPdfPageLayout::plSinglePage;
  TPdfPageMode page_mode_ = TPdfPageMode::pmUseNone;
  TPdfPageMode non_full_screen_page_mode_ = TPdfPageMode::pmUseNone;
  TPdfCompressionMethod compression_method_ = TPdfCompressionMethod::cmNone;
  bool use_outlines_ = false;
  TPdfViewerPreferences viewer_preference_;
  std::unique_ptr<TPdfDoc> doc_;
  int page_count_ = 0;
  std::int64_t max_file_size_ = kMaxFileSize;
  TPRCanvas canvas_;
};

}  // namespace qv
