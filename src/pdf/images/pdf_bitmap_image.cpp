// TPdfBitmapImage.
#include "pdf/images/pdf_bitmap_image.h"

#include "pdf/images/pdf_graphic.h"
#include "pdf/objects/pdf_array.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_stream.h"
#include "runtime/translation.h"

namespace qv {

namespace {

// "<" and the 256 entries as RRGGBB and a space, ">": the lookup string of an indexed space.
std::unique_ptr<TPdfBinary> PaletteString(const TBitmap &bitmap) {
  if (bitmap.PixelFormat() != TPixelFormat::pf8bit)
    throw EPdfInvalidImageFormat(Tr("only 8 bit color image is allowed."));
  const std::vector<TRGBQuad> &palette = bitmap.Palette();
  if (palette.empty()) throw EPdfInvalidImageFormat(Tr("failed to get Palette.."));
  static constexpr char kHex[] = "0123456789ABCDEF";
  auto text = std::make_unique<TPdfBinary>();
  std::vector<std::uint8_t> &out = text->Data();
  out.push_back('<');
  for (std::size_t i = 0; i < 256; ++i) {
    TRGBQuad entry = i < palette.size() ? palette[i] : TRGBQuad{};
    for (std::uint8_t c : {entry.red, entry.green, entry.blue}) {
      out.push_back(static_cast<std::uint8_t>(kHex[c >> 4]));
      out.push_back(static_cast<std::uint8_t>(kHex[c & 15]));
    }
    out.push_back(' ');
  }
  out.push_back('>');
  return text;
}

}  // namespace

std::unique_ptr<TPdfImage> TPdfBitmapImage::CreateImage(const TPdfGraphic &graphic) {
  const auto *picture = dynamic_cast<const TPdfBitmapGraphic *>(&graphic);
  if (picture == nullptr) throw EPdfInvalidValue(Tr("only bitmap image is allowed."));
  auto image = std::make_unique<TPdfImage>(nullptr);
  TPdfDictionary &attributes = image->Attributes();
  attributes.Put("Type", std::make_unique<TPdfName>("XObject"));
  attributes.Put("Subtype", std::make_unique<TPdfName>("Image"));

  TBitmap copy = picture->Bitmap();
  TPixelFormat format = copy.PixelFormat();
  bool indexed = format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit ||
                 format == TPixelFormat::pf8bit;
  copy.SetPixelFormat(indexed ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
  const auto width = static_cast<std::size_t>(copy.Width());
  std::vector<std::uint8_t> &data = image->Data();
  data.reserve(width * static_cast<std::size_t>(copy.Height()) * (indexed ? 1 : 3));
  for (int y = 0; y < copy.Height(); ++y) {
    const std::uint8_t *row = copy.ScanLine(y);
    if (indexed) {
      data.insert(data.end(), row, row + width);
    } else {
      for (std::size_t x = 0; x < width; ++x) {
        data.push_back(row[3 * x + 2]);
        data.push_back(row[3 * x + 1]);
        data.push_back(row[3 * x]);
      }
    }
  }
  if (indexed) {
    auto space = std::make_unique<TPdfArray>(nullptr);
    space->Add(std::make_unique<TPdfName>("Indexed"));
    space->Add(std::make_unique<TPdfName>("DeviceRGB"));
    space->Add(std::make_unique<TPdfNumber>(255));
    space->Add(PaletteString(copy));
    attributes.Put("ColorSpace", std::move(space));
  } else {
    attributes.Put("ColorSpace", std::make_unique<TPdfName>("DeviceRGB"));
  }
  attributes.Put("Width", std::make_unique<TPdfNumber>(copy.Width()));
  attributes.Put("Height", std::make_unique<TPdfNumber>(copy.Height()));
  attributes.Put("BitsPerComponent", std::make_unique<TPdfNumber>(8));
  attributes.FindArray("Filter")->Add(std::make_unique<TPdfName>("FlateDecode"));
  return image;
}

}  // namespace qv
