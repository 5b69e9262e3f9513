// TPdfJpegImage.
#include "pdf/images/pdf_jpeg_image.h"

#include "pdf/images/pdf_graphic.h"
#include "pdf/objects/pdf_array.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_stream.h"
#include "runtime/translation.h"

namespace qv {

std::unique_ptr<TPdfImage> TPdfJpegImage::CreateImage(const TPdfGraphic &graphic) {
  const auto *jpeg = dynamic_cast<const TPdfJpegGraphic *>(&graphic);
  if (jpeg == nullptr) throw EPdfInvalidValue(Tr("only jpeg image is allowed."));
  auto image = std::make_unique<TPdfImage>(nullptr);
  auto bytes = jpeg->Bytes();
  image->Data().assign(bytes.begin(), bytes.end());
  TPdfDictionary &attributes = image->Attributes();
  attributes.Put("Type", std::make_unique<TPdfName>("XObject"));
  attributes.Put("Subtype", std::make_unique<TPdfName>("Image"));
  // A grey or CMYK stream named DeviceRGB would not decode: name the space its components need.
  const char *space = jpeg->Components() == 1   ? "DeviceGray"
                      : jpeg->Components() == 4 ? "DeviceCMYK"
                                                : "DeviceRGB";
  attributes.Put("ColorSpace", std::make_unique<TPdfName>(space));
  attributes.Put("Width", std::make_unique<TPdfNumber>(jpeg->Width()));
  attributes.Put("Height", std::make_unique<TPdfNumber>(jpeg->Height()));
  attributes.Put("BitsPerComponent", std::make_unique<TPdfNumber>(8));
  if (jpeg->AdobeInverted())  // Adobe CMYK JPEGs store inverted samples
    attributes.Put("Decode",
                   std::make_unique<TPdfArray>(
                       nullptr, std::initializer_list<std::int32_t>{1, 0, 1, 0, 1, 0, 1, 0}));
  attributes.FindArray("Filter")->Add(std::make_unique<TPdfName>("DCTDecode"));
  return image;
}

}  // namespace qv
