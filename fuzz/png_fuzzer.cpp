// Fuzz target: the PNG decoder from a whole file to a Raster image, then the chunks written back.
#include <cstddef>
#include <cstdint>

#include "codecs/png/png_object.h"
#include "fuzz_check.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"

QV_FUZZ_ENTRY(png) {
  qv::TReadOnlyMemoryStream input({data, size});
  qv::TPNGObject png;
  qv::TBitmap image;
  try {
    png.LoadFromStream(input);
    png.AssignTo(image);
  } catch (const qv::Exception&) {
    return 0;
  }
  if (!image.Empty()) {
    // Touch the first and last byte of every row, so a short buffer shows up.
    volatile std::uint8_t sink = 0;
    for (int y = 0; y < image.Height(); ++y) {
      const std::uint8_t* row = image.ScanLine(y);
      sink = sink + row[0] + row[image.RowSize() - 1];
    }
  }
  try {
    // The accepted chunks as they were, then (small images only, to keep the run fast) the
    // decoded pixels through the encoder and back.
    qv::TMemoryStream copy;
    png.SaveToStream(copy);
    if (!image.Empty() && static_cast<std::int64_t>(image.Width()) * image.Height() <= 4096) {
      qv::TPNGObject encoded;
      encoded.AssignBitmap(image);
      qv::TMemoryStream again;
      encoded.SaveToStream(again);
      again.SetPosition(0);
      qv::TPNGObject reread;
      reread.LoadFromStream(again);
      qv::TBitmap back;
      reread.AssignTo(back);
      QV_FUZZ_CHECK(back.Width() == image.Width() && back.Height() == image.Height());
    }
  } catch (const qv::Exception&) {
  }
  return 0;
}
