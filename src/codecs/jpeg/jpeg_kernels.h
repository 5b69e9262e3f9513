// The functions the band encoder spends its time in, as one table so that they are chosen
// together: colour conversion, chroma averaging, the DCT with quantization, and block coding.
#pragma once

#include <cstdint>
#include <span>

#include "codecs/jpeg/jpeg_forward_dct.h"
#include "codecs/jpeg/jpeg_huffman_coder.h"
#include "simd/variants.h"

namespace qv {

struct TJpegKernels {
  void (*convert_bgr_to_ycc)(const std::uint8_t* bgr, int count, std::uint8_t* y, std::uint8_t* cb,
                             std::uint8_t* cr);
  void (*downsample_rows)(const std::uint8_t* upper, const std::uint8_t* lower, int count,
                          std::uint8_t* out);
  void (*forward_dct_pair)(const TJpegBlockSource& first, const TJpegBlockSource& second);
  void (*put_block)(TJpegBitString& bits, const std::int16_t* coefficients, int& last_dc,
                    const TJpegHuffmanCodes& dc, const TJpegHuffmanCodes& ac);
};

// The forms of the table, the portable one (jpeg_forward_dct.h, PutJpegBlock) last.
std::span<const TVariant<TJpegKernels>> JpegKernelVariants();

}  // namespace qv
