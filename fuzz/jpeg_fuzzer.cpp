// Fuzz target: the JPEG adapter: read the header, decode with the settings of the first byte,
// then compress the decoded image again and read that back.
#include <cstddef>
#include <cstdint>

#include "codecs/jpeg/jpeg_image.h"
#include "fuzz_check.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"

namespace {

// Larger pictures are legal but only slow the search down; the size limits themselves are
// covered by the bad-input suite.
constexpr std::int64_t kMaxFuzzPixels = std::int64_t{1} << 18;
// Re-compression (and reading back) only for small pictures.
constexpr std::int64_t kMaxRecompressPixels = std::int64_t{1} << 16;

}  // namespace

QV_FUZZ_ENTRY(jpeg) {
  if (size < 1) return 0;
  const std::uint8_t settings = data[0];
  qv::TReadOnlyMemoryStream input({data + 1, size - 1});
  qv::TJPEGImage jpeg;
  jpeg.SetScale(static_cast<qv::TJPEGScale>(settings & 3));
  jpeg.SetPixelFormat((settings & 4) ? qv::TJPEGPixelFormat::jf8Bit
                                     : qv::TJPEGPixelFormat::jf24Bit);
  jpeg.SetGrayscaleOutput((settings & 8) != 0);
  jpeg.SetPerformance((settings & 16) ? qv::TJPEGPerformance::jpBestSpeed
                                      : qv::TJPEGPerformance::jpBestQuality);
  jpeg.SetSmoothing((settings & 32) != 0);
  qv::TBitmap image;
  try {
    jpeg.LoadFromStream(input);
    if (static_cast<std::int64_t>(jpeg.Width()) * jpeg.Height() > kMaxFuzzPixels) return 0;
    jpeg.AssignTo(image);
  } catch (const qv::Exception&) {
    return 0;
  }
  if (image.Empty()) return 0;
  const std::int64_t pixels = static_cast<std::int64_t>(image.Width()) * image.Height();
  volatile std::uint8_t sink = 0;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    sink = sink + row[0] + row[image.RowSize() - 1];
  }
  if (pixels > kMaxRecompressPixels) return 0;
  // Compress what was decoded and read it back: the size must survive.
  qv::TJPEGImage again;
  again.SetCompressionQuality(1 + settings % 100);
  again.SetProgressiveEncoding((settings & 64) != 0);
  again.Assign(image);
  qv::TMemoryStream bytes;
  again.SaveToStream(bytes);
  bytes.SetPosition(0);
  qv::TJPEGImage reread;
  reread.LoadFromStream(bytes);
  QV_FUZZ_CHECK(reread.Width() == image.Width() && reread.Height() == image.Height());
  return 0;
}
