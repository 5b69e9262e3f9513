// The image-processing steps of the conversion job: resize, sepia and 256 colours.
#pragma once

#include "app/job_options.h"

namespace qv {

class TBitmap;

// Makes image a width x height copy of itself with the method (the filtered methods use rows 0 to
// 3 of ResampleFilterTable). The content is replaced only at the end, so a failure leaves size
// and picture unchanged.
void ResizeBitmap(TBitmap& image, int width, int height, TResampleMethod method);

// Tones image sepia in place (it becomes 24 bits per pixel).
void SepiaStep(TBitmap& image);

// Replaces image by its 256-colour reduction; an image of another depth is brought to 24 bits
// per pixel first.
void Reduce256Step(TBitmap& image);

}  // namespace qv
