// TPdfJpegImage.
#include "pdf/pdf_jpeg_image.h"

#include "pdf/pdf_array.h"
#include "pdf/pdf_exceptions.h"
#include "pdf/pdf_graphic.h"
#include "pdf/pdf_stream.h"

namespace qv {

std::unique_ptr<TPdfImage> TPdfJpegImage::CreateImage(const TPdfGraphic &graphic) {
  const auto *jpeg = dynamic_cast<const TPdfJpegGraphic *>(&graphic);
  if (jpeg == nullptr)
    throw EPdfInvalidValue("only jpeg image is allowed.");
  auto image = std::make_unique<TPdfImage>(nullptr);
  auto bytes = jpeg->Bytes();
  image->Data().assign(bytes.begin(), bytes.end());
  TPdfDictionary &attributes = image->Attributes();
  attributes.Put("Type", std::make_unique<TPdfName>("XObject"));
  attributes.Put("Subtype", std::make_unique<TPdfName>("Image"));
  attributes.Put("ColorSpace", std::make_unique<TPdfName>("DeviceRGB"));
  attributes.Put("Width", std::make_unique<TPdfNumber>(jpeg->Width()));
  attributes.Put("Height", std::make_unique<TPdfNumber>(jpeg->Height()));
  attributes.Put("BitsPerComponent", std::make_unique<TPdfNumber>(8));
  attributes.FindArray("Filter")->Add(std::make_unique<TPdfName>("DCTDecode"));
  return image;
}

} // namespace qv
