// TPdfJpegImage: embeds a JPEG's bytes unchanged as a DCTDecode image object.
#pragma once

#include "pdf/images/pdf_image_creator.h"

namespace qv {

class TPdfJpegImage : public TPdfImageCreator {
 public:
  // EPdfInvalidValue "only jpeg image is allowed." for anything but a JPEG picture. The colour
  // space follows the frame's components (DeviceGray, DeviceRGB, DeviceCMYK with an inverting
  // "Decode" for Adobe CMYK), so grey and CMYK JPEGs are embedded unchanged and still decode.
  std::unique_ptr<TPdfImage> CreateImage(const TPdfGraphic &graphic) override;
};

}  // namespace qv
