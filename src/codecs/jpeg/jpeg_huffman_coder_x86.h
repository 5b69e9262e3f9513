// The band encoder's block coder for x86 processors with AVX2 and BMI2
// (jpeg_huffman_coder_x86.cpp).
#pragma once

#include <cstdint>

#include "codecs/jpeg/jpeg_huffman_coder.h"
#include "simd/cpu_features.h"

namespace qv {

#if defined(QV_SIMD_X86)
// PutJpegBlock (jpeg_huffman_coder.h), the same bits; only where the processor has kAvx2 and
// kBmi2.
void PutJpegBlockAvx2(TJpegBitString& bits, const std::int16_t* coefficients, int& last_dc,
                      const TJpegHuffmanCodes& dc, const TJpegHuffmanCodes& ac);
#endif

}  // namespace qv
