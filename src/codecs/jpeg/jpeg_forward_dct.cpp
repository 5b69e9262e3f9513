// The portable forms of the band encoder's sample code, one value at a time in 32-bit integers.
// The DCT is the LL&M factorization libjpeg calls "islow": constants with 13 fraction bits, and
// 2 extra bits kept between the row pass and the column pass, whose results are 16-bit values;
// its results come out eight times the true coefficients.
#include "codecs/jpeg/jpeg_forward_dct.h"

#include <algorithm>
#include <cstdlib>

#include "codecs/jpeg/jpeg_dct_constants.h"

namespace qv {

namespace {

using namespace jpeg_fixed_point;

// x / 2^n, rounded half up.
std::int32_t Descale(std::int32_t x, int n) { return (x + (1 << (n - 1))) >> n; }

// A row-pass result as the 16 bits it is kept in (saturated, as the vector form packs it).
std::int32_t Narrow(std::int32_t x) { return std::clamp<std::int32_t>(x, -32768, 32767); }

std::int32_t Sum2(std::int32_t a, std::int32_t b, const std::int16_t w[2]) {
  return a * w[0] + b * w[1];
}

std::int32_t Sum4(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d,
                  const std::int16_t w[4]) {
  return a * w[0] + b * w[1] + c * w[2] + d * w[3];
}

// The 8-point DCT of d[0] .. d[7] with its odd and its outputs 2 and 6 descaled by n bits; the
// outputs 0 and 4 are left as the sum and the difference of t10 and t11 (each pass scales them
// its own way).
struct TDct {
  std::int32_t sum, difference;  // t10 + t11, t10 - t11
  std::int32_t out[8];           // outputs 1, 2, 3, 5, 6, 7
};

TDct Dct8(const std::int32_t d[8], int n) {
  const std::int32_t t0 = d[0] + d[7], t1 = d[1] + d[6], t2 = d[2] + d[5], t3 = d[3] + d[4];
  const std::int32_t t4 = d[3] - d[4], t5 = d[2] - d[5], t6 = d[1] - d[6], t7 = d[0] - d[7];
  const std::int32_t t10 = t0 + t3, t11 = t1 + t2, t12 = t1 - t2, t13 = t0 - t3;
  TDct r{};
  r.sum = t10 + t11;
  r.difference = t10 - t11;
  r.out[2] = Descale(Sum2(t12, t13, kOut2), n);
  r.out[6] = Descale(Sum2(t12, t13, kOut6), n);
  r.out[1] = Descale(Sum4(t4, t5, t6, t7, kOut1), n);
  r.out[3] = Descale(Sum4(t4, t5, t6, t7, kOut3), n);
  r.out[5] = Descale(Sum4(t4, t5, t6, t7, kOut5), n);
  r.out[7] = Descale(Sum4(t4, t5, t6, t7, kOut7), n);
  return r;
}

// x / 2h, rounded half away from zero, through the reciprocal m of 2h.
std::int16_t Quantize(std::int32_t x, std::int32_t h, std::uint32_t m) {
  if (x == 0) return 0;
  const auto a = static_cast<std::uint32_t>(std::abs(x) + h);
  const auto q = static_cast<std::int32_t>((std::uint64_t{a} * m) >> 32);
  return static_cast<std::int16_t>(std::clamp<std::int32_t>(x < 0 ? -q : q, -32768, 32767));
}

void ForwardDct(const TJpegBlockSource& block) {
  // Rows: each row's eight samples, less 128, to its eight horizontal outputs.
  std::int32_t rows[8][8];
  for (int y = 0; y < 8; ++y) {
    const std::uint8_t* p = block.samples + y * block.stride;
    std::int32_t d[8];
    for (int x = 0; x < 8; ++x) d[x] = p[x] - 128;
    const TDct t = Dct8(d, kConstBits - kPass1Bits);
    rows[y][0] = Narrow(t.sum * (1 << kPass1Bits));
    rows[y][4] = Narrow(t.difference * (1 << kPass1Bits));
    for (int u : {1, 2, 3, 5, 6, 7}) rows[y][u] = Narrow(t.out[u]);
  }
  // Columns: each column of the row results to its eight vertical outputs, then quantized.
  const TJpegDivisors& divisors = *block.divisors;
  for (int u = 0; u < 8; ++u) {
    std::int32_t d[8];
    for (int y = 0; y < 8; ++y) d[y] = rows[y][u];
    const TDct t = Dct8(d, kConstBits + kPass1Bits);
    std::int32_t out[8];
    out[0] = Descale(t.sum, kPass1Bits);
    out[4] = Descale(t.difference, kPass1Bits);
    for (int v : {1, 2, 3, 5, 6, 7}) out[v] = t.out[v];
    for (int v = 0; v < 8; ++v) {
      const int i = 8 * v + u;
      block.coefficients[i] = Quantize(out[v], divisors.half[i], divisors.reciprocal[i]);
    }
  }
}

}  // namespace

TJpegDivisors::TJpegDivisors(const std::array<std::uint16_t, 64>& steps) {
  for (int i = 0; i < 64; ++i) {
    const std::uint64_t d = 8u * steps[i];
    half[i] = static_cast<std::int32_t>(d / 2);
    reciprocal[i] = static_cast<std::uint32_t>(((std::uint64_t{1} << 32) + d - 1) / d);
  }
}

void ForwardDctPair(const TJpegBlockSource& first, const TJpegBlockSource& second) {
  ForwardDct(first);
  ForwardDct(second);
}

void ConvertBgrToYcc(const std::uint8_t* bgr, int count, std::uint8_t* y, std::uint8_t* cb,
                     std::uint8_t* cr) {
  for (int i = 0; i < count; ++i) {
    const std::int32_t b = bgr[3 * i], g = bgr[3 * i + 1], r = bgr[3 * i + 2];
    y[i] = static_cast<std::uint8_t>((kRY * r + kGY * g + kBY * b + kHalf) >> 16);
    cb[i] = static_cast<std::uint8_t>((kHalf * b - kRCb * r - kGCb * g + kChromaOffset) >> 16);
    cr[i] = static_cast<std::uint8_t>((kHalf * r - kGCr * g - kBCr * b + kChromaOffset) >> 16);
  }
}

void DownsampleRows(const std::uint8_t* upper, const std::uint8_t* lower, int count,
                    std::uint8_t* out) {
  for (int i = 0; i < count; ++i) {
    out[i] = static_cast<std::uint8_t>(
        (upper[2 * i] + upper[2 * i + 1] + lower[2 * i] + lower[2 * i + 1] + 1 + (i & 1)) >> 2);
  }
}

}  // namespace qv
