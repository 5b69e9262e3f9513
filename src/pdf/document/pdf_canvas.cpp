// TPdfCanvas and its text state.
#include "pdf/document/pdf_canvas.h"

#include "pdf/document/pdf_doc.h"
#include "pdf/document/pdf_font.h"
#include "pdf/objects/pdf_array.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_stream.h"
#include "pdf/objects/pdf_text_helpers.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

void TPdfCanvasAttribute::SetWordSpace(float value) {
  if (value < 0) throw EPdfInvalidValue(Tr("SetWordSpace --invalid word space"));
  word_space_ = value;
}

void TPdfCanvasAttribute::SetCharSpace(float value) {
  if (value < -30 || value > 300) throw EPdfInvalidValue(Tr("SetCharSpace --invalid char space"));
  char_space_ = value;
}

void TPdfCanvasAttribute::SetFontSize(float value) {
  if (value < 0 || value > 300) throw EPdfInvalidValue(Tr("SetCharSpace --invalid font size"));
  font_size_ = value;
}

void TPdfCanvasAttribute::SetLeading(float value) {
  if (value < 0 || value > 300) throw EPdfInvalidValue(Tr("SetLeading --invalid font size"));
  leading_ = value;
}

void TPdfCanvasAttribute::SetHorizontalScaling(std::uint16_t value) {
  if (value < 10 || value > 300)
    throw EPdfInvalidValue(Tr("SetHorizontalScaling --invalid font size"));
  horizontal_scaling_ = value;
}

void TPdfCanvas::SetPage(TPdfDictionary *page) {
  if (page_ != nullptr) {
    page_->PutInternal(
        "_Font", std::make_unique<TPdfName>(attribute_.Font() ? attribute_.Font()->Name() : ""));
    page_->PutInternal("_Font_Size", std::make_unique<TPdfReal>(attribute_.FontSize()));
    page_->PutInternal("_Word_Space", std::make_unique<TPdfReal>(attribute_.WordSpace()));
    page_->PutInternal("_Char_Space", std::make_unique<TPdfReal>(attribute_.CharSpace()));
    page_->PutInternal("_HScalling", std::make_unique<TPdfNumber>(attribute_.HorizontalScaling()));
    page_->PutInternal("_Leading", std::make_unique<TPdfReal>(attribute_.Leading()));
  }
  page_ = page;
  contents_ = page ? dynamic_cast<TPdfStream *>(page->Find("Contents")) : nullptr;
  if (page == nullptr) return;
  if (TPdfName *font = page->FindName("_Font")) {
    // A page made current again takes back the state it kept.
    if (!font->Value().empty()) attribute_.SetFont(&Doc().GetFont(font->Value()));
    if (TPdfReal *size = page->FindReal("_Font_Size"))
      attribute_.SetFontSize(static_cast<float>(size->Value()));
    if (TPdfReal *word = page->FindReal("_Word_Space"))
      attribute_.SetWordSpace(static_cast<float>(word->Value()));
    if (TPdfReal *chars = page->FindReal("_Char_Space"))
      attribute_.SetCharSpace(static_cast<float>(chars->Value()));
    if (TPdfNumber *scaling = page->FindNumber("_HScalling"))
      attribute_.SetHorizontalScaling(static_cast<std::uint16_t>(scaling->Value()));
    if (TPdfReal *leading = page->FindReal("_Leading"))
      attribute_.SetLeading(static_cast<float>(leading->Value()));
    return;
  }
  attribute_.SetFont(nullptr);
  SetFont("Arial", 10);
  attribute_.SetCharSpace(0);
  attribute_.SetWordSpace(0);
  attribute_.SetHorizontalScaling(100);
  attribute_.SetLeading(0);
}

void TPdfCanvas::ClearPage() {
  page_ = nullptr;
  contents_ = nullptr;
  attribute_.SetFont(nullptr);
}

TPdfDictionary &TPdfCanvas::Page() const {
  if (page_ == nullptr) throw EPdfInvalidOperation(Tr("GetPage --the Page is nil"));
  return *page_;
}

TPdfDoc &TPdfCanvas::Doc() const {
  if (doc_ == nullptr) throw EPdfInvalidOperation(Tr("ERROR: GetDoc documant is nil."));
  return *doc_;
}

void TPdfCanvas::SetPageWidth(std::int32_t width) {
  TPdfArray *media_box = Page().FindArray("MediaBox");
  if (media_box == nullptr) throw EPdfInvalidOperation(Tr("Can not chenge width of this page.."));
  dynamic_cast<TPdfNumber &>(*media_box->Items(2)).SetValue(width);
}

void TPdfCanvas::SetPageHeight(std::int32_t height) {
  TPdfArray *media_box = Page().FindArray("MediaBox");
  if (media_box == nullptr) throw EPdfInvalidOperation(Tr("Can not chenge width of this page.."));
  dynamic_cast<TPdfNumber &>(*media_box->Items(3)).SetValue(height);
}

void TPdfCanvas::SetFont(const std::string &alias, float size) {
  TPdfFont &font = Doc().GetFont(alias);
  if (&font == attribute_.Font() && size == attribute_.FontSize()) return;
  TPdfDictionary *fonts = Page().FindDictionary("Resources")->FindDictionary("Font");
  std::string resource_name = font.Data()->FindName("Name")->Value();
  if (fonts->Find(resource_name) == nullptr) fonts->PutReference(resource_name, *font.Data());
  if (contents_ != nullptr) SelectFont("/" + resource_name, size);
  attribute_.SetFont(&font);
  attribute_.SetFontSize(size);
}

TPdfStream *TPdfCanvas::RegisterXObjectResource(const std::string &name, const char *message) {
  TPdfStream *image = Doc().GetXObject(name);
  if (image == nullptr) throw EPdfInvalidValue(FormatText(Tr(message), {name}));
  TPdfDictionary *xobjects = Page().FindDictionary("Resources")->FindDictionary("XObject");
  if (xobjects->Find(name) == nullptr) xobjects->PutReference(name, *image);
  return image;
}

void TPdfCanvas::DrawXObject(float x, float y, float width, float height, const std::string &name) {
  TPdfStream *image = RegisterXObjectResource(name, N_("DrawXObject --XObject not found: %s"));
  SaveState();
  ConcatMatrix(width, 0, 0, height, x, y);
  PaintXObject(image->Attributes().FindName("Name")->Value());
  RestoreState();
}

void TPdfCanvas::DrawXObjectEx(float x, float y, float width, float height, float clip_x,
                               float clip_y, float clip_width, float clip_height,
                               const std::string &name) {
  TPdfStream *image = RegisterXObjectResource(name, N_("DrawXObjectEx --XObject not found: %s"));
  SaveState();
  AppendRectangle(clip_x, clip_y, clip_width, clip_height);
  ClipPath();
  EndPath();
  ConcatMatrix(width, 0, 0, height, x, y);
  PaintXObject(image->Attributes().FindName("Name")->Value());
  RestoreState();
}

void TPdfCanvas::SaveState() { WriteContent("q\n"); }
void TPdfCanvas::RestoreState() { WriteContent("Q\n"); }

void TPdfCanvas::ConcatMatrix(float a, float b, float c, float d, float e, float f) {
  WriteContent(FormatReal(a) + " " + FormatReal(b) + " " + FormatReal(c) + " " + FormatReal(d) +
               " " + FormatReal(e) + " " + FormatReal(f) + " cm\n");
}

void TPdfCanvas::AppendRectangle(float x, float y, float width, float height) {
  WriteContent(FormatReal(x) + " " + FormatReal(y) + " " + FormatReal(width) + " " +
               FormatReal(height) + " re\n");
}

void TPdfCanvas::ClipPath() { WriteContent("W\n"); }
void TPdfCanvas::EndPath() { WriteContent("n\n"); }

void TPdfCanvas::SelectFont(const std::string &resource_name, float size) {
  WriteContent(resource_name + " " + FormatReal(size) + " Tf\n");
}

void TPdfCanvas::PaintXObject(const std::string &name) { WriteContent("/" + name + " Do\n"); }

void TPdfCanvas::WriteContent(const std::string &text) {
  if (is_virtual_ || contents_ == nullptr) return;
  contents_->AppendData(text.data(), text.size());
}

}  // namespace qv
