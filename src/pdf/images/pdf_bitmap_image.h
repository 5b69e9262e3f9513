// TPdfBitmapImage: embeds a Raster image's pixels, deflated, as an image object.
#pragma once

#include "pdf/images/pdf_image_creator.h"

namespace qv {

class TPdfBitmapImage : public TPdfImageCreator {
 public:
  // 1, 4 and 8-bit images become 8-bit indexed pixels, all others 24-bit RGB. Fails with
  // EPdfInvalidValue for anything but a Raster image picture.
  std::unique_ptr<TPdfImage> CreateImage(const TPdfGraphic &graphic) override;
};

}  // namespace qv
