// Fuzz target: the plug-in host's check and copy of a plug-in's information block and pixel block.
//
// Input layout: byte 0 picks the pixel format the image had before the call, bytes 1-2 (little
// endian) the information block's length, then the information block, then the pixel block.
#include <cstddef>
#include <cstdint>
#include <span>

#include "codecs/plugin_host/spi_dib_copy.h"
#include "fuzz_check.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"

namespace {

constexpr qv::TPixelFormat kFormats[] = {
    qv::TPixelFormat::pfDevice, qv::TPixelFormat::pf1bit,  qv::TPixelFormat::pf4bit,
    qv::TPixelFormat::pf8bit,   qv::TPixelFormat::pf15bit, qv::TPixelFormat::pf16bit,
    qv::TPixelFormat::pf24bit,  qv::TPixelFormat::pf32bit, qv::TPixelFormat::pfCustom};

}  // namespace

QV_FUZZ_ENTRY(spi_block) {
  if (size < 3) return 0;
  qv::TPixelFormat format = kFormats[data[0] % 9];
  std::size_t rest = size - 3;
  std::size_t info_size = (data[1] | data[2] << 8) % (rest + 1);
  std::span<const std::uint8_t> info(data + 3, info_size);
  std::span<const std::uint8_t> pixels(data + 3 + info_size, rest - info_size);

  // The image the host hands in: a small one of the chosen format (custom: an empty one, as the
  // host's callers pass).
  qv::TBitmap image;
  if (format != qv::TPixelFormat::pfCustom && format != qv::TPixelFormat::pfDevice)
    image.Allocate(3, 2, format);
  const int width = image.Width(), height = image.Height();
  try {
    qv::CopyPluginDib(info, pixels, image);
  } catch (const qv::Exception&) {
    // A refused block leaves the image as it was.
    QV_FUZZ_CHECK(image.Width() == width && image.Height() == height);
    return 0;
  }
  volatile std::uint8_t sink = 0;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    sink = sink + row[0] + row[image.RowSize() - 1];
  }
  return 0;
}
