// The sample side of libjpeg's compressor, made to give its very numbers: colour conversion of
// BGR rows to Y, Cb and Cr, the 2x2 averaging of Cb and Cr, and the accurate integer DCT of
// 8x8 blocks with quantization, all in its fixed-point arithmetic and rounding. The functions
// here are the portable forms; jpeg_kernels.h chooses among them and the vector ones.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qv {

// One component's quantization steps, row-major, as the DCT's results are divided by them.
class TJpegDivisors {
 public:
  explicit TJpegDivisors(const std::array<std::uint16_t, 64>& steps);

  // The DCT's results come eight times too large: each is divided by eight times its step,
  // rounded half away from zero. The reciprocal ceil(2^32 / d) gives the exact quotient for
  // every dividend below 2^16, and the DCT's never reach 2^15.
  alignas(32) std::int32_t half[64];
  alignas(32) std::uint32_t reciprocal[64];
};

// Y, Cb and Cr of count BGR pixels, as libjpeg converts them (16-bit fixed point, rounded).
void ConvertBgrToYcc(const std::uint8_t* bgr, int count, std::uint8_t* y, std::uint8_t* cb,
                     std::uint8_t* cr);

// The 2x2 average of two rows of 2 x count samples, as libjpeg makes it: the rounding bias
// alternates 1, 2 along the row so that it does not lean one way.
void DownsampleRows(const std::uint8_t* upper, const std::uint8_t* lower, int count,
                    std::uint8_t* out);

// An 8x8 block of samples (rows stride bytes apart) and where its quantized DCT goes,
// row-major.
struct TJpegBlockSource {
  const std::uint8_t* samples;
  std::ptrdiff_t stride;
  const TJpegDivisors* divisors;
  std::int16_t* coefficients;
};

// The quantized DCTs of two blocks.
void ForwardDctPair(const TJpegBlockSource& first, const TJpegBlockSource& second);

}  // namespace qv
