// TPdfDoc: document structure (catalog, information, page tree), fonts, image objects and the
// file layout (header, numbered objects, cross-reference table, trailer).
#include "pdf/document/pdf_doc.h"

#include <cstdio>

#include "pdf/document/pdf_canvas.h"
#include "pdf/document/pdf_font.h"
#include "pdf/document/pdf_info.h"
#include "pdf/document/pdf_outline.h"
#include "pdf/objects/pdf_array.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_stream.h"
#include "pdf/objects/pdf_text_helpers.h"
#include "pdf/objects/pdf_xref.h"
#include "runtime/stream.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

TPdfDoc::TPdfDoc() : canvas_(std::make_unique<TPdfCanvas>(this)) {}

TPdfDoc::~TPdfDoc() { FreeDoc(); }

void TPdfDoc::NewDoc() {
  FreeDoc();
  xref_ = std::make_unique<TPdfXref>();
  header_ = std::make_unique<TPdfHeader>();
  trailer_ = std::make_unique<TPdfTrailer>(xref_.get());
  xobject_list_ = std::make_unique<TPdfArray>(xref_.get());

  auto catalog = std::make_unique<TPdfDictionary>(xref_.get());
  catalog->Put("Type", std::make_unique<TPdfName>("Catalog"));
  root_ = std::make_unique<TPdfCatalog>();
  root_->SetData(xref_->Add(std::move(catalog)));
  trailer_->Attributes().PutReference("Root", *root_->Data());

  if (use_outlines_) {
    auto outlines = std::make_unique<TPdfDictionary>(xref_.get());
    outlines->Put("Type", std::make_unique<TPdfName>("Outlines"));
    outline_root_ = std::make_unique<TPdfOutlineRoot>();
    outline_root_->SetData(xref_->Add(std::move(outlines)));
    root_->Data()->PutReference("Outlines", *outline_root_->Data());
  }

  auto information = std::make_unique<TPdfDictionary>(xref_.get());
  information->Put("Producer", std::make_unique<TPdfText>("Velumbra version 0.9"));
  info_ = std::make_unique<TPdfInfo>();
  info_->SetData(xref_->Add(std::move(information)));
  trailer_->Attributes().PutReference("Info", *info_->Data());
  info_->SetCreationDate();

  auto pages = std::make_unique<TPdfDictionary>(xref_.get());
  pages->Put("Type", std::make_unique<TPdfName>("Pages"));
  pages->Put("Kids", std::make_unique<TPdfArray>(xref_.get()));
  pages->Put("Count", std::make_unique<TPdfNumber>(0));
  current_pages_ = xref_->Add(std::move(pages));
  root_->SetPages(*current_pages_);

  // Header, catalog, information, page tree, cross-reference table and trailer.
  estimated_file_size_ = kPageAllowance;
  has_doc_ = true;
}

void TPdfDoc::NewDocForMeasuring() {
  NewDoc();
  AddPage();
  canvas_->SetIsVirtual(true);
}

void TPdfDoc::FreeDoc() {
  if (!has_doc_ && !xref_) return;
  canvas_->ClearPage();
  canvas_->SetIsVirtual(false);
  fonts_.clear();
  xobject_list_.reset();
  xobjects_by_name_.clear();
  profile_streams_.clear();
  estimated_file_size_ = 0;
  outline_root_.reset();
  info_.reset();
  root_.reset();
  current_pages_ = nullptr;
  trailer_.reset();
  header_.reset();
  xref_.reset();
  has_doc_ = false;
}

void TPdfDoc::AddPage() {
  if (current_pages_ == nullptr) throw EPdfInvalidOperation(Tr("AddPage --current pages null."));
  TPdfDictionary *page = xref_->Add(std::make_unique<TPdfDictionary>(xref_.get()));
  TPdfArray *kids = current_pages_->FindArray("Kids");
  kids->AddReference(*page);
  current_pages_->FindNumber("Count")->SetValue(kids->ItemCount());

  page->Put("Type", std::make_unique<TPdfName>("Page"));
  page->PutReference("Parent", *current_pages_);
  page->Put("MediaBox", std::make_unique<TPdfArray>(
                            xref_.get(), std::initializer_list<std::int32_t>{
                                             0, 0, default_page_width_, default_page_height_}));
  auto resources = std::make_unique<TPdfDictionary>(xref_.get());
  resources->Put("Font", std::make_unique<TPdfDictionary>(xref_.get()));
  resources->Put("XObject", std::make_unique<TPdfDictionary>(xref_.get()));
  auto proc_set = std::make_unique<TPdfArray>(xref_.get());
  proc_set->Add(std::make_unique<TPdfName>("PDF"));
  proc_set->Add(std::make_unique<TPdfName>("Text"));
  proc_set->Add(std::make_unique<TPdfName>("ImageC"));
  resources->Put("ProcSet", std::move(proc_set));
  page->Put("Resources", std::move(resources));

  TPdfStream *contents = xref_->Add(std::make_unique<TPdfStream>(xref_.get()));
  if (compression_method_ == TPdfCompressionMethod::cmFlateDecode)
    contents->Attributes().FindArray("Filter")->Add(std::make_unique<TPdfName>("FlateDecode"));
  page->PutReference("Contents", *contents);
  canvas_->SetPage(page);
  estimated_file_size_ += kPageAllowance;
}

TPdfCanvas &TPdfDoc::Canvas() const {
  if (!has_doc_) throw EPdfInvalidOperation(Tr("GetCanvas --Document is null"));
  return *canvas_;
}

TPdfInfo &TPdfDoc::Info() const {
  if (!has_doc_) throw EPdfInvalidOperation(Tr("GetInfo --this method can not use this state.."));
  return *info_;
}

TPdfCatalog &TPdfDoc::Root() const {
  if (!has_doc_) throw EPdfInvalidOperation(Tr("GetRoot --this method can not use this state.."));
  return *root_;
}

TPdfOutlineRoot &TPdfDoc::OutlineRoot() const {
  if (!has_doc_) throw EPdfInvalidOperation(Tr("GetOutlineRoot --document is null.."));
  if (!use_outlines_ || !outline_root_)
    throw EPdfInvalidOperation(Tr("GetOutlineRoot --not use outline mode.."));
  return *outline_root_;
}

TPdfFont &TPdfDoc::GetFont(const std::string &alias) {
  if (!has_doc_) throw EPdfInvalidOperation(Tr("GetFont --document is null."));
  for (const auto &font : fonts_)
    if (font->Name() == alias) return *font;
  std::unique_ptr<TPdfFont> font = CreateStandardFont(*xref_, alias);
  std::string resource_name = "F";
  resource_name += IntToStr(static_cast<std::int64_t>(fonts_.size()));
  font->Data()->Put("Name", std::make_unique<TPdfName>(resource_name));
  fonts_.push_back(std::move(font));
  return *fonts_.back();
}

void TPdfDoc::AddXObject(const std::string &name, std::unique_ptr<TPdfStream> image) {
  if (GetXObject(name) != nullptr)
    throw Exception(FormatText(Tr("AddImage --the image named %s is already exists.."), {name}));
  if (!image || image->Attributes().TypeOf() != "XObject" ||
      !image->Attributes().FindName("Subtype") ||
      image->Attributes().FindName("Subtype")->Value() != "Image")
    throw Exception(Tr("AddImage --the image is not valid TPdfImage.."));
  estimated_file_size_ += static_cast<std::int64_t>(image->Data().size());
  RegisterXObject(xref_->Add(std::move(image)), name);
}

void TPdfDoc::RegisterXObject(TPdfStream *image, const std::string &name) {
  if (image == nullptr) throw EPdfInvalidValue(Tr("RegisterXObject --AObject is null"));
  if (image->Attributes().TypeOf() != "XObject")
    throw EPdfInvalidValue(Tr("RegisterXObject --not XObject"));
  // An image object reaching here is always in the table already (AddXObject adds it).
  if (image->ObjectType() != TPdfObjectType::otIndirect)
    throw EPdfInvalidOperation(Tr("RegisterXObject --AObject is not in the table"));
  if (image->Attributes().Find("Name") != nullptr) return;
  if (GetXObject(name) != nullptr)
    throw EPdfInvalidValue(FormatText(Tr("RegisterXObject --dupulicate name: %s"), {name}));
  xobject_list_->AddReference(*image);
  image->Attributes().Put("Name", std::make_unique<TPdfName>(name));
  xobjects_by_name_.emplace(name, image);
}

std::unique_ptr<TPdfArray> TPdfDoc::IccBasedColourSpace(const std::vector<std::uint8_t> &profile,
                                                        int components) {
  Assert(has_doc_, __FILE__, __LINE__);
  TPdfStream *&stream = profile_streams_[{profile, components}];
  if (stream == nullptr) {
    auto made = std::make_unique<TPdfStream>(xref_.get());
    made->Attributes().Put("N", std::make_unique<TPdfNumber>(components));
    made->Attributes().FindArray("Filter")->Add(std::make_unique<TPdfName>("FlateDecode"));
    made->Data() = profile;
    estimated_file_size_ += static_cast<std::int64_t>(profile.size()) + kPageAllowance;
    stream = xref_->Add(std::move(made));
    header_->RequireVersion(3);
  }
  auto space = std::make_unique<TPdfArray>(xref_.get());
  space->Add(std::make_unique<TPdfName>("ICCBased"));
  space->AddReference(*stream);
  return space;
}

TPdfStream *TPdfDoc::GetXObject(const std::string &name) const {
  auto found = xobjects_by_name_.find(name);
  return found == xobjects_by_name_.end() ? nullptr : found->second;
}

void TPdfDoc::SaveToStream(TStream &stream) {
  if (!has_doc_) throw EPdfInvalidOperation(Tr("SaveToStream --there is no document to save."));
  canvas_->Page();  // fails with "GetPage --the Page is nil" when no page was added
  info_->SetModDate();
  root_->SaveOpenAction();
  if (outline_root_) outline_root_->Save();

  stream.SetPosition(0);
  header_->WriteToStream(stream);
  for (int i = 1; i < xref_->ItemCount(); ++i) {
    TPdfXrefEntry &entry = xref_->Items(i);
    std::int64_t position = stream.Position();
    entry.byte_offset = position > INT32_MAX ? -1 : static_cast<std::int32_t>(position);
    entry.object->WriteIndirect(stream);
  }
  std::int64_t xref_position = stream.Position();
  if (xref_position > INT32_MAX)
    throw EPdfInvalidOperation(Tr("SaveToStream --the document is too large."));
  trailer_->SetXrefAddress(static_cast<std::int32_t>(xref_position));

  std::string table = "xref\r\n0 " + IntToStr(xref_->ItemCount()) + "\r\n";
  for (int i = 0; i < xref_->ItemCount(); ++i) {
    const TPdfXrefEntry &entry = xref_->Items(i);
    char line[32];
    std::snprintf(line, sizeof line, "%010d %05d %c\r\n",
                  entry.byte_offset < 0 ? 0 : entry.byte_offset, entry.generation,
                  entry.entry_type);
    table += line;
  }
  WriteTextToStream(stream, table);
  trailer_->Attributes().FindNumber("Size")->SetValue(xref_->ItemCount());
  trailer_->WriteToStream(stream);
}

}  // namespace qv
