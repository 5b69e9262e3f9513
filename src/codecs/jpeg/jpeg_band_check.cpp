// The band encoder against libjpeg on one small fixed picture.
#include "codecs/jpeg/jpeg_band_check.h"

#include "codecs/jpeg/jpeg_band_encoder.h"
#include "codecs/jpeg/jpeg_baseline_header.h"

namespace qv {

namespace {

constexpr int kWidth = 45;
constexpr int kHeight = 75;

// Noise on the left, a gradient in the middle, saturated stripes on the right: small and large
// coefficients, long runs of zeros, and DC steps from block to block.
TBitmap CheckPicture() {
  TBitmap picture;
  picture.Allocate(kWidth, kHeight, TPixelFormat::pf24bit);
  std::uint32_t noise = 12345;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = picture.ScanLine(y);
    for (int x = 0; x < kWidth; ++x)
      for (int c = 0; c < 3; ++c) {
        noise = noise * 1103515245u + 12345u;
        std::uint8_t value;
        if (x < 15)
          value = static_cast<std::uint8_t>(noise >> 16);
        else if (x < 30)
          value = static_cast<std::uint8_t>(3 * x + 2 * y + 40 * c);
        else
          value = ((x / 2 + y / 3 + c) % 2) ? 255 : 0;
        row[3 * x + c] = value;
      }
  }
  return picture;
}

}  // namespace

bool BandEncoderMatchesLibjpeg(const TJpegKernels& kernels, const TLibjpegCompressor& libjpeg) {
  const TBitmap picture = CheckPicture();
  for (int quality : {50, 100}) {
    const std::vector<std::uint8_t> expected = libjpeg(picture, quality);
    const auto header = TJpegBaselineHeader::Read(expected);
    if (!header) return false;
    const std::vector<std::uint8_t> bands = EncodeJpegInBands(
        kernels, *header, picture.ScanLine(0), picture.RowStep(), kWidth, kHeight, {});
    if (bands != expected) return false;
  }
  return true;
}

}  // namespace qv
