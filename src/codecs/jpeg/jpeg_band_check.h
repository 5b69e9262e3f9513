// The check that the band encoder still writes libjpeg's bytes. The encoder copies libjpeg's
// arithmetic (colour conversion, chroma averaging, DCT and quantization, Huffman coding) and its
// tables come from libjpeg's own file; a libjpeg updated after this program was built could
// round differently, and then a picture compressed in bands would differ from the same picture
// compressed alone. So before the encoder is first used, both compress one small fixed picture
// and the files are compared.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "codecs/jpeg/jpeg_kernels.h"
#include "imaging/bitmap.h"

namespace qv {

// libjpeg's file for a 24-bit picture at a quality, as TJPEGImage compresses it alone.
using TLibjpegCompressor =
    std::function<std::vector<std::uint8_t>(const TBitmap& picture, int quality)>;

// True when the band encoder with the given forms of its functions writes libjpeg's file for
// the check's picture: 45 x 75 pixels (two bands, partial MCUs and blocks at both edges) of
// noise, gradients and saturated edges, at qualities 50 and 100. Throws what libjpeg throws.
bool BandEncoderMatchesLibjpeg(const TJpegKernels& kernels, const TLibjpegCompressor& libjpeg);

}  // namespace qv
