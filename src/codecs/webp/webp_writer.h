// Writing a Raster image as a WebP file through libwebp: lossy (VP8) or lossless (VP8L), opaque,
// with the EXIF block and ICC profile a photo carries in the file's EXIF and ICCP chunks.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/exceptions.h"
#include "runtime/translation.h"

namespace qv {

class TBitmap;
class TStream;

// The largest width and height a WebP file holds (libwebp's WEBP_MAX_DIMENSION).
inline constexpr int kWebPMaxSide = 16383;

// Message texts, kept together so tests can compare them.
namespace webp_messages {
// TRANSLATORS: the picture's width and height, then the largest width and height of the format.
inline constexpr char kTooLarge[] =
    N_("The picture is %s x %s pixels; a WebP file holds at most %s x %s pixels.");
// TRANSLATORS: the library's reason, in English.
inline constexpr char kEncoderFailed[] = N_("The WebP encoder failed: %s");
}  // namespace webp_messages

// A picture the WebP writer cannot write: too large for the format, or refused by the library.
class EWebP : public Exception {
 public:
  using Exception::Exception;
};

struct TWebPOptions {
  // 1 to 100 (clamped). Lossy: the picture's quality, as cwebp's -q. Lossless: the effort spent
  // on a smaller file, as cwebp's -q with -lossless (the pixels are the same at any value).
  int quality = 80;
  bool lossless = false;
};

// Writes image (any pixel format; taken as 24-bit colour, no alpha) to stream as one WebP file,
// at libwebp's default method (4). exif (TIFF data, from its byte-order mark on) and icc_profile,
// when not empty, go into EXIF and ICCP chunks of an extended (VP8X) file.
// Throws EWebP (webp_messages::kTooLarge) before encoding when a side exceeds kWebPMaxSide,
// EWebP (kEncoderFailed) when libwebp fails, in both cases writing nothing to stream; EWriteError
// when the stream refuses the bytes.
void WriteWebP(const TBitmap& image, TStream& stream, const TWebPOptions& options,
               std::span<const std::uint8_t> exif = {},
               std::span<const std::uint8_t> icc_profile = {});

}  // namespace qv
