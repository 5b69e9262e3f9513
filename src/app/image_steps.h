// The image-processing steps of the conversion job: resize, sepia and 256 colours.
#pragma once

#include "app/job_options.h"
#include "runtime/work_context.h"

namespace qv {

class TBitmap;
class TJPEGImage;

// The row of ResampleFilterTable a filtered method uses, or -1 for the other methods.
int ResampleFilterRow(TResampleMethod method);

// Makes image a width x height copy of itself with the method (the filtered methods use rows 0 to
// 3 of ResampleFilterTable). The content is replaced only at the end, so a failure leaves size
// and picture unchanged. The spare threads of work may share the resampling.
void ResizeBitmap(TBitmap& image, int width, int height, TResampleMethod method,
                  const TWorkContext& work = {});

// Decodes jpeg's held bytes (at its scale) straight into a width x height image with a
// resampling method: with a filtered one each band of rows goes through the horizontal pass as
// the library delivers it, with a bilinear one the rows go into a ring of the rows still to be
// read, so the full-size picture is never held. image becomes exactly what ResizeBitmap makes of
// the decoded picture. Returns false, image unchanged, when the method does not resample, the
// JPEG does not decode to 24-bit colour rows, the resize would fail on the whole picture, or the
// rows it needs cannot be had (the caller then decodes and resizes as usual). Throws EJPEG as
// decoding does.
// With sepia, where ResizeTonesSepia(method), each row is toned as soon as it is made: image
// is then what SepiaStep makes of the resized picture. The spare threads of work may share the
// resize.
bool DecodeResizedJpeg(TJPEGImage& jpeg, int width, int height, TResampleMethod method,
                       TBitmap& image, bool sepia = false, const TWorkContext& work = {});

// True when a resize with the method made while decoding can tone its rows sepia as they are
// made (its picture has 24 bits, as sepia leaves it).
bool ResizeTonesSepia(TResampleMethod method);

// Tones image sepia in place (it becomes 24 bits per pixel).
void SepiaStep(TBitmap& image);

// Replaces image by its 256-colour reduction; an image of another depth is brought to 24 bits
// per pixel first.
void Reduce256Step(TBitmap& image);

}  // namespace qv
