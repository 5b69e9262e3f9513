// TPdfCanvas: writes page-description operators into the current page's content stream and keeps
// the page's resources in step; TPdfCanvasAttribute: the text state.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

class TPdfDictionary;
class TPdfDoc;
class TPdfFont;
class TPdfStream;

// The text state with the ranges its setters accept (EPdfInvalidValue outside them).
class TPdfCanvasAttribute {
 public:
  void SetWordSpace(float value);                  // >= 0
  void SetCharSpace(float value);                  // -30 to 300
  void SetFontSize(float value);                   // 0 to 300
  void SetLeading(float value);                    // 0 to 300
  void SetHorizontalScaling(std::uint16_t value);  // 10 to 300 percent
  void SetFont(TPdfFont *font) { font_ = font; }

  float WordSpace() const { return word_space_; }
  float CharSpace() const { return char_space_; }
  float FontSize() const { return font_size_; }
  float Leading() const { return leading_; }
  std::uint16_t HorizontalScaling() const { return horizontal_scaling_; }
  TPdfFont *Font() const { return font_; }

 private:
  float word_space_ = 0;
  float char_space_ = 0;
  float font_size_ = 0;
  float leading_ = 0;
  std::uint16_t horizontal_scaling_ = 100;
  TPdfFont *font_ = nullptr;
};

class TPdfCanvas {
 public:
  explicit TPdfCanvas(TPdfDoc *doc) : doc_(doc) {}

  // Makes page current: the previous page keeps the text state as internal elements, and a
  // page without "_Font" starts with "Arial" 10 (writing "/F0 10 Tf") and the default state.
  void SetPage(TPdfDictionary *page);
  // Forgets the current page (the document was freed).
  void ClearPage();
  // The current page; EPdfInvalidOperation "GetPage --the Page is nil" without one.
  TPdfDictionary &Page() const;
  // EPdfInvalidOperation "ERROR: GetDoc documant is nil." without a document.
  TPdfDoc &Doc() const;
  TPdfCanvasAttribute &Attribute() { return attribute_; }

  bool IsVirtual() const { return is_virtual_; }
  void SetIsVirtual(bool is_virtual) { is_virtual_ = is_virtual; }

  // Element 2 or 3 of the page's "MediaBox"; EPdfInvalidOperation
  // "Can not chenge width of this page.." without one.
  void SetPageWidth(std::int32_t width);
  void SetPageHeight(std::int32_t height);

  // Selects the document's font of the alias at a size, entering it in the page's resources.
  void SetFont(const std::string &alias, float size);
  // Paints the image object registered under name into the rectangle (EPdfInvalidValue
  // "DrawXObject --XObject not found: %s" when there is none; nothing is written then).
  void DrawXObject(float x, float y, float width, float height, const std::string &name);
  // The same, clipped to the clip rectangle.
  void DrawXObjectEx(float x, float y, float width, float height, float clip_x, float clip_y,
                     float clip_width, float clip_height, const std::string &name);

  // Operators, each ending in one LF, numbers by FormatReal.
  void SaveState();
  void RestoreState();
  void ConcatMatrix(float a, float b, float c, float d, float e, float f);
  void AppendRectangle(float x, float y, float width, float height);
  void ClipPath();
  void EndPath();
  void SelectFont(const std::string &resource_name, float size);
  void PaintXObject(const std::string &name);
  // Appends text to the content stream unless the canvas is virtual or has no stream.
  void WriteContent(const std::string &text);

 private:
  TPdfStream *RegisterXObjectResource(const std::string &name, const char *message);
  TPdfDoc *doc_;
  TPdfDictionary *page_ = nullptr;
  TPdfStream *contents_ = nullptr;
  TPdfCanvasAttribute attribute_;
  bool is_virtual_ = false;
};

}  // namespace qv
