// TPRJpegImage: the report item that embeds a JPEG picture unchanged.
#pragma once

#include "pdf/report/pr_item.h"

namespace qv {

class TPRJpegImage : public TPRImage {
 public:
  using TPRImage::TPRImage;
  const char *ClassName() const override { return "TPRJpegImage"; }
  // Copies a JPEG picture (nullptr empties it); anything else fails with Exception
  // "only jpeg image is allowed.".
  void SetPicture(const TPdfGraphic *picture) override;
  // Registers the JPEG as an image object ("Pdf-Jpeg") under the component name (shared) or the
  // name and a random number not yet used, and draws it into the item's box.
  void Print(TPRCanvas &canvas, const TRect &rect) override;
};

}  // namespace qv
