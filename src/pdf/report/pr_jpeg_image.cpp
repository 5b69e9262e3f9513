// TPRJpegImage.
#include "pdf/report/pr_jpeg_image.h"

#include "pdf/images/pdf_graphic.h"
#include "runtime/exceptions.h"
#include "runtime/translation.h"

namespace qv {

void TPRJpegImage::SetPicture(const TPdfGraphic *picture) {
  if (picture != nullptr && dynamic_cast<const TPdfJpegGraphic *>(picture) == nullptr)
    throw Exception(Tr("only jpeg image is allowed."));
  StorePicture(picture);
}

void TPRJpegImage::Print(TPRCanvas &canvas, const TRect &rect) {
  if (dynamic_cast<const TPdfJpegGraphic *>(picture_.get()) == nullptr) return;
  PrintPicture(canvas, rect, "Pdf-Jpeg", false);
}

}  // namespace qv
