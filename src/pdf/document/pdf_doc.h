// TPdfDoc: one PDF document under construction and its writing as a file.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/document/pdf_catalog.h"

namespace qv {

class TPdfArray;
class TPdfCanvas;
class TPdfDictionary;
class TPdfFont;
class TPdfHeader;
class TPdfInfo;
class TPdfOutlineRoot;
class TPdfStream;
class TPdfTrailer;
class TPdfXref;
class TStream;

enum class TPdfCompressionMethod { cmNone, cmFlateDecode };

class TPdfDoc {
 public:
  TPdfDoc();
  ~TPdfDoc();
  TPdfDoc(const TPdfDoc &) = delete;
  TPdfDoc &operator=(const TPdfDoc &) = delete;

  // Begins a new document (freeing any in progress): catalog 1, information 2, page tree 3.
  void NewDoc();
  // NewDoc, AddPage, and a virtual canvas: a document for measuring that writes nothing.
  void NewDocForMeasuring();
  // Frees the current document; the canvas is left without a page. Nothing without a document.
  void FreeDoc();
  // Adds a page (and its content stream) at the end of the current page tree node and makes it
  // the canvas's page.
  void AddPage();
  // Writes the whole file from position 0. Fails before writing anything when there is no
  // document ("SaveToStream --there is no document to save.") or no page
  // ("GetPage --the Page is nil").
  void SaveToStream(TStream &stream);

  bool HasDoc() const { return has_doc_; }
  // EPdfInvalidOperation "GetCanvas --Document is null" without a document.
  TPdfCanvas &Canvas() const;
  TPdfInfo &Info() const;
  TPdfCatalog &Root() const;
  TPdfOutlineRoot &OutlineRoot() const;
  TPdfXref &ObjectMgr() const { return *xref_; }
  // The font of the alias, created on first use (named "F0", "F1", ... in creation order).
  TPdfFont &GetFont(const std::string &alias);

  // Registers an image object (a stream of "Type" XObject and "Subtype" Image) under a name;
  // the document's table takes it over.
  void AddXObject(const std::string &name, std::unique_ptr<TPdfStream> image);
  // Registers an image object already in the table under a name.
  void RegisterXObject(TPdfStream *image, const std::string &name);
  // The registered image object of that name, or nullptr (a table lookup: a document of many
  // pages asks once per page).
  TPdfStream *GetXObject(const std::string &name) const;
  // An ICC-based colour space of the profile for pixels of components (1, 3 or 4 components):
  // the array [/ICCBased n 0 R] whose stream holds the profile, deflated. One stream serves every
  // image of the document with the same profile. The file then names PDF 1.3, where such colour
  // spaces begin.
  std::unique_ptr<TPdfArray> IccBasedColourSpace(const std::vector<std::uint8_t> &profile,
                                                 int components);

  // An upper bound of the file's size if it were saved now: the image objects' bytes plus a
  // generous allowance for every page and the file's frame. What a page adds can be checked
  // against the format's limit before the page is made.
  std::int64_t EstimatedFileSize() const { return estimated_file_size_; }
  // What AddPage adds to the estimate (page, resources, content stream, cross-reference line and
  // the image object's attributes, with room to spare).
  static constexpr std::int64_t kPageAllowance = 4096;

  TPdfCompressionMethod CompressionMethod() const { return compression_method_; }
  void SetCompressionMethod(TPdfCompressionMethod method) { compression_method_ = method; }
  bool UseOutlines() const { return use_outlines_; }
  void SetUseOutlines(bool use) { use_outlines_ = use; }
  std::uint16_t DefaultPageWidth() const { return default_page_width_; }
  std::uint16_t DefaultPageHeight() const { return default_page_height_; }
  void SetDefaultPageWidth(std::uint16_t width) { default_page_width_ = width; }
  void SetDefaultPageHeight(std::uint16_t height) { default_page_height_ = height; }

 private:
  std::unique_ptr<TPdfCanvas> canvas_;
  bool has_doc_ = false;
  std::uint16_t default_page_width_ = 596;
  std::uint16_t default_page_height_ = 842;
  TPdfCompressionMethod compression_method_ = TPdfCompressionMethod::cmNone;
  bool use_outlines_ = false;
  // Declared before everything that points into its objects, so it is freed last.
  std::unique_ptr<TPdfXref> xref_;
  std::unique_ptr<TPdfHeader> header_;
  std::unique_ptr<TPdfTrailer> trailer_;
  std::unique_ptr<TPdfCatalog> root_;
  std::unique_ptr<TPdfInfo> info_;
  std::unique_ptr<TPdfOutlineRoot> outline_root_;
  TPdfDictionary *current_pages_ = nullptr;
  std::vector<std::unique_ptr<TPdfFont>> fonts_;
  std::unique_ptr<TPdfArray> xobject_list_;
  std::unordered_map<std::string, TPdfStream *> xobjects_by_name_;
  // The profile streams made so far, by profile and components.
  std::map<std::pair<std::vector<std::uint8_t>, int>, TPdfStream *> profile_streams_;
  std::int64_t estimated_file_size_ = 0;
};

}  // namespace qv
