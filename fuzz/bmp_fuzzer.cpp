// Fuzz target: the BMP reader on arbitrary bytes, then the writer on whatever it accepted.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_writer.h"
#include "fuzz_check.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"

QV_FUZZ_ENTRY(bmp) {
  qv::TReadOnlyMemoryStream input({data, size});
  qv::TBitmap image;
  try {
    qv::ReadBitmap(image, input);
  } catch (const qv::Exception&) {
    return 0;
  }
  if (!image.Empty()) {
    // Touch every row the reader claims to have, so a short buffer shows up.
    volatile std::uint8_t sink = 0;
    for (int y = 0; y < image.Height(); ++y) {
      const std::uint8_t* row = image.ScanLine(y);
      sink = sink + row[0] + row[image.RowSize() - 1];
    }
    qv::TMemoryStream output;
    qv::WriteBitmap(image, output);
  }
  return 0;
}
