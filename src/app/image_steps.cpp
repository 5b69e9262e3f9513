// The image-processing steps of the conversion job.
#include "app/image_steps.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "app/jpeg_resize_stream.h"
#include "app/row_resize.h"
#include "codecs/jpeg/jpeg_image.h"
#include "imaging/abitmap.h"
#include "imaging/bilinear_stretch.h"
#include "imaging/bitmap.h"
#include "imaging/filtered_resample.h"
#include "imaging/fixed_point_bilinear_resize.h"
#include "imaging/reduce_colors.h"
#include "imaging/resample_filters.h"
#include "imaging/sepia.h"
#include "runtime/exceptions.h"
#include "runtime/translation.h"

namespace qv {

namespace {

// Rows a JPEG band holds on its way into a bilinear resize.
constexpr int kJpegBandRows = 16;

// DecodeResizedJpeg for the bilinear methods: the decoded rows go into the resize's ring.
bool DecodeRowResizedJpeg(TJPEGImage& jpeg, int width, int height, TResampleMethod method,
                          TBitmap& image, bool sepia, const TWorkContext& work) {
  std::unique_ptr<TRowResize> resize =
      TRowResize::For(method, jpeg.Width(), jpeg.Height(), width, height, kJpegBandRows, work);
  if (!resize) return false;
  if (sepia && ResizeTonesSepia(method)) resize->SetRowFinish(ApplySepiaRow);
  // Rows the resize reads as they are are decoded straight into its ring.
  const bool decoded = resize->TakesPlacedRows()
                           ? jpeg.DecodeInPlace(
                                 kJpegBandRows,
                                 [&](int first, int count, std::uint8_t** rows) {
                                   for (int i = 0; i < count; ++i)
                                     rows[i] = resize->PlaceOf(first + i);
                                 },
                                 [&](int count) { resize->TakePlacedRows(count); })
                           : jpeg.DecodeInBands(kJpegBandRows, [&](const std::uint8_t* rows,
                                                                   std::ptrdiff_t step, int count) {
                               resize->TakeRows(rows, step, count);
                             });
  if (!decoded) return false;
  image = resize->Finish();
  return true;
}

}  // namespace

int ResampleFilterRow(TResampleMethod method) {
  switch (method) {
    case TResampleMethod::kMitchell: return 0;
    case TResampleMethod::kLanczos3: return 1;
    case TResampleMethod::kBSpline: return 2;
    case TResampleMethod::kBell: return 3;
    default: return -1;
  }
}

void ResizeBitmap(TBitmap& image, int width, int height, TResampleMethod method,
                  const TWorkContext& work) {
  // A target without pixels would leave an empty image to write: refuse it like any failed
  // resize, so the job keeps the picture as it was.
  if (width < 1 || height < 1) throw EInvalidGraphicOperation(Tr("Target size below 1 x 1 pixels"));
  TBitmap temporary;
  int filter_row = ResampleFilterRow(method);
  if (method == TResampleMethod::kBilinear) {
    temporary = BilinearStretch(image, width, height, TArithmeticPath::kFastest, work);
  } else if (method == TResampleMethod::kFixedPointBilinear) {
    TABitmap source;
    source.Assign(&image);
    TABitmap destination;
    destination.SetSize(width, height);
    FixedPointBilinearResize(width, height, source, 0, 0, source.Width(), source.Height(), 0, 0,
                             destination);
    temporary.Assign(&destination.Bitmap());
  } else if (filter_row >= 0) {
    temporary.Assign(&image);
    temporary.SetSize(width, height);
    // The resampler converts its source to 24 bits in place; it gets a copy (sharing the pixels
    // until converted), so a failure leaves image exactly as it was.
    TBitmap source = image;
    const TResampleFilter& filter = ResampleFilterTable[static_cast<std::size_t>(filter_row)];
    FilteredResample(source, temporary, filter.kernel, filter.support, TArithmeticPath::kFastest,
                     work);
  } else {
    temporary.Assign(&image);  // no resampling: cut or extended to the target size
    temporary.SetSize(width, height);
  }
  image.Assign(&temporary);
}

bool ResizeTonesSepia(TResampleMethod method) {
  // The fixed-point method's picture has 32 bits; sepia brings it to 24 afterwards.
  return method != TResampleMethod::kFixedPointBilinear;
}

bool DecodeResizedJpeg(TJPEGImage& jpeg, int width, int height, TResampleMethod method,
                       TBitmap& image, bool sepia, const TWorkContext& work) {
  const int filter_row = ResampleFilterRow(method);
  if (width < 1 || height < 1) return false;
  if (filter_row < 0) return DecodeRowResizedJpeg(jpeg, width, height, method, image, sepia, work);
  try {
    if (jpeg.Width() < 1 || jpeg.Height() < 1) return false;
    TJpegResizeStream stream(ResampleFilterTable[static_cast<std::size_t>(filter_row)],
                             jpeg.Width(), jpeg.Height(), width, height, work);
    if (sepia) stream.SetRowFinish(ApplySepiaRow);
    return stream.Decode(jpeg, image);
  } catch (const EOutOfMemory&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void SepiaStep(TBitmap& image) { ApplySepia(image); }

void Reduce256Step(TBitmap& image) {
  // The reduction works on 24-bit pictures: any other depth (1, 4, 8, 15, 16 or 32 bits, a
  // plug-in's picture) is brought to 24 bits first, on a copy so a failure leaves image as it was.
  if (image.PixelFormat() != TPixelFormat::pf24bit) {
    TBitmap full = image;
    full.SetPixelFormat(TPixelFormat::pf24bit);
    TBitmap reduced = ReduceColors(full, 8);
    image.Assign(&reduced);
    return;
  }
  TBitmap reduced = ReduceColors(image, 8);
  image.Assign(&reduced);
}

}  // namespace qv
