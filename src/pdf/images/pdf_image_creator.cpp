// The creator registry: aliases of the image creators.
#include "pdf/images/pdf_image_creator.h"

#include "pdf/images/pdf_bitmap_image.h"
#include "pdf/images/pdf_jpeg_image.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/objects/pdf_stream.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

std::unique_ptr<TPdfImage> TPdfImageCreator::CreateImage(const TPdfGraphic &) { return nullptr; }

namespace {

std::unique_ptr<TPdfImageCreator> FindCreator(const std::string &alias) {
  if (alias == "Pdf-Jpeg") return std::make_unique<TPdfJpegImage>();
  if (alias == "Pdf-Bitmap") return std::make_unique<TPdfBitmapImage>();
  throw EClassNotFound(FormatText(Tr(pdf_messages::kClassNotFound), {alias}));
}

}  // namespace

std::unique_ptr<TPdfImage> CreatePdfImage(const TPdfGraphic &graphic, const std::string &alias) {
  return FindCreator(alias)->CreateImage(graphic);
}

}  // namespace qv
