// Writing a Raster image as an AVIF file through libavif and its AV1 encoder (libaom where the
// library has it): opaque 8-bit colour, with the EXIF block and ICC profile a photo carries.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/exceptions.h"
#include "runtime/translation.h"

namespace qv {

class TBitmap;
class TStream;

// The largest width and height an AVIF file holds (an AV1 frame's limit).
inline constexpr int kAvifMaxSide = 65536;

// Message texts, kept together so tests can compare them.
namespace avif_messages {
// TRANSLATORS: the picture's width and height, then the largest width and height of the format.
inline constexpr char kTooLarge[] =
    N_("The picture is %s x %s pixels; an AVIF file holds at most %s x %s pixels.");
// TRANSLATORS: the library's reason, in English.
inline constexpr char kEncoderFailed[] = N_("The AVIF encoder failed: %s");
}  // namespace avif_messages

// A picture the AVIF writer cannot write: too large for the format, or refused by the library.
class EAvif : public Exception {
 public:
  using Exception::Exception;
};

struct TAvifOptions {
  // 1 to 100 (clamped): the picture's quality, mapped onto the AV1 quantizer 63 to 0 as libavif
  // and libheif map their quality numbers. From 90 on the colour is kept at full resolution
  // (4:4:4), below it at half in both directions (4:2:0), as libvips chooses.
  int quality = 60;
  // 0 (slowest, smallest) to 10 (fastest), as avifenc's --speed (clamped).
  int speed = 6;
  // Threads the encoder may use; 0: as many as the processor runs at once, at least 2. libaom
  // writes the same bytes with any number from 2 on (1 gives other bytes), so the default gives
  // every machine the same file while using its cores.
  int threads = 0;
};

// The AV1 quantizer (0 to 63) a quality number gives: ((100 - quality) * 63 + 50) / 100.
int AvifQuantizerOf(int quality);

// Writes image (any pixel format; taken as 24-bit sRGB colour, no alpha) to stream as one AVIF
// file, full-range YUV with BT.601 coefficients. exif (TIFF data, from its byte-order mark on)
// and icc_profile, when not empty, go into the file as its Exif item and colour profile.
// Throws EAvif (avif_messages::kTooLarge) before encoding when a side exceeds kAvifMaxSide,
// EAvif (kEncoderFailed) when libavif or its encoder fails, in both cases writing nothing to
// stream; EWriteError when the stream refuses the bytes.
void WriteAvif(const TBitmap& image, TStream& stream, const TAvifOptions& options,
               std::span<const std::uint8_t> exif = {},
               std::span<const std::uint8_t> icc_profile = {});

}  // namespace qv
