// The standard Type 1 fonts by alias.
#include "pdf/document/pdf_font.h"

#include <vector>

#include "pdf/document/pdf_font_metrics.h"
#include "pdf/objects/pdf_array.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_xref.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

namespace {

struct TFontAlias {
  const char *alias;
  const char *base_font;
  TStandardFace face;
};

constexpr TFontAlias kFontAliases[] = {
    {"FixedWidth", "Courier", TStandardFace::kCourier},
    {"FixedWidth-Bold", "Courier-Bold", TStandardFace::kCourier},
    {"FixedWidth-Italic", "Courier-Oblique", TStandardFace::kCourier},
    {"FixedWidth-BoldItalic", "Courier-BoldOblique", TStandardFace::kCourier},
    {"Arial", "Helvetica", TStandardFace::kHelvetica},
    {"Arial-Bold", "Helvetica-Bold", TStandardFace::kHelveticaBold},
    {"Arial-Italic", "Helvetica-Oblique", TStandardFace::kHelvetica},
    {"Arial-BoldItalic", "Helvetica-BoldOblique", TStandardFace::kHelveticaBold},
    {"Times-Roman", "Times-Roman", TStandardFace::kTimesRoman},
    {"Times-Bold", "Times-Bold", TStandardFace::kTimesBold},
    {"Times-Italic", "Times-Italic", TStandardFace::kTimesItalic},
    {"Times-BoldItalic", "Times-BoldItalic", TStandardFace::kTimesBoldItalic},
};

}  // namespace

int TPdfFont::GetCharWidth(const std::string &, std::size_t) const { return 0; }

void TPdfType1Font::SetData(TPdfDictionary *data) {
  TPdfFont::SetData(data);
  TPdfNumber *missing = data->FindNumber("MissingWidth");
  widths_.fill(static_cast<std::uint16_t>(missing ? missing->Value() : 0));
  TPdfNumber *first = data->FindNumber("FirstChar");
  TPdfNumber *last = data->FindNumber("LastChar");
  first_char_ = static_cast<std::uint8_t>(first ? first->Value() : 0);
  last_char_ = static_cast<std::uint8_t>(last ? last->Value() : 0);
  if (TPdfArray *widths = data->FindArray("Widths")) {
    for (int i = 0; i < widths->ItemCount() && first_char_ + i < 256; ++i)
      if (auto *number = dynamic_cast<TPdfNumber *>(widths->Items(i)))
        widths_[static_cast<std::size_t>(first_char_ + i)] =
            static_cast<std::uint16_t>(number->Value());
  }
}

int TPdfType1Font::GetCharWidth(const std::string &text, std::size_t index) const {
  if (index >= text.size()) return 0;
  return widths_[static_cast<unsigned char>(text[index])];
}

std::unique_ptr<TPdfFont> CreateStandardFont(TPdfXref &xref, const std::string &alias) {
  const TFontAlias *found = nullptr;
  for (const TFontAlias &entry : kFontAliases)
    if (alias == entry.alias) found = &entry;
  if (found == nullptr) throw EClassNotFound(FormatText(Tr(pdf_messages::kClassNotFound), {alias}));

  auto dictionary = std::make_unique<TPdfDictionary>(&xref);
  dictionary->Put("Type", std::make_unique<TPdfName>("Font"));
  dictionary->Put("Subtype", std::make_unique<TPdfName>("Type1"));
  dictionary->Put("Encoding", std::make_unique<TPdfName>("WinAnsiEncoding"));
  dictionary->Put("FirstChar", std::make_unique<TPdfNumber>(32));
  dictionary->Put("LastChar", std::make_unique<TPdfNumber>(255));
  dictionary->Put("BaseFont", std::make_unique<TPdfName>(found->base_font));
  auto widths = StandardFontWidths(found->face);
  dictionary->PutInternal(
      "Widths",
      std::make_unique<TPdfArray>(&xref, std::vector<std::int32_t>(widths.begin(), widths.end())));
  auto font = std::make_unique<TPdfType1Font>(alias);
  font->SetData(xref.Add(std::move(dictionary)));
  return font;
}

}  // namespace qv
