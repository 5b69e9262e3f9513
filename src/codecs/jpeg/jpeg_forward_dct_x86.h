// The sample side of the band encoder for x86 processors with AVX2 (jpeg_forward_dct_x86.cpp).
#pragma once

#include <cstdint>

#include "codecs/jpeg/jpeg_forward_dct.h"
#include "simd/cpu_features.h"

namespace qv {

#if defined(QV_SIMD_X86)
// ConvertBgrToYcc, DownsampleRows and ForwardDctPair (jpeg_forward_dct.h), the same numbers;
// only where the processor has kAvx2.
void ConvertBgrToYccAvx2(const std::uint8_t* bgr, int count, std::uint8_t* y, std::uint8_t* cb,
                         std::uint8_t* cr);
void DownsampleRowsAvx2(const std::uint8_t* upper, const std::uint8_t* lower, int count,
                        std::uint8_t* out);
void ForwardDctPairAvx2(const TJpegBlockSource& first, const TJpegBlockSource& second);
#endif

}  // namespace qv
