// The image-processing steps of the conversion job.
#include "app/image_steps.h"

#include "imaging/bitmap.h"
#include "runtime/exceptions.h"

namespace qv {

void ResizeBitmap(TBitmap& image, int width, int height, int resample_mode) {
  if (resample_mode >= 0 && resample_mode <= 5)
    throw Exception("Resampling is not built into this version");
  TBitmap temporary;
  temporary.Assign(&image);
  temporary.SetSize(width, height);
  image.Assign(&temporary);
}

void SepiaStep(TBitmap&) { throw Exception("Sepia toning is not built into this version"); }

void Reduce256Step(TBitmap&) {
  throw Exception("Colour reduction is not built into this version");
}

}  // namespace qv
