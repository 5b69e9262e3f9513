// The sample side of the band encoder for x86 processors with AVX2. The DCT takes two blocks at
// once, one in each 128-bit half; colour conversion does eight pixels a step from a 32-byte
// load; each gives the numbers of its portable form (jpeg_forward_dct.cpp).
#include "codecs/jpeg/jpeg_forward_dct_x86.h"

#if defined(QV_SIMD_X86)

#include <immintrin.h>

#include "codecs/jpeg/jpeg_dct_constants.h"

// Everything below is compiled for AVX2, and none of it instantiates a template shared with
// other files, so no AVX2 copy of a shared function can stand in for a plain one.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace qv {

namespace {

using namespace jpeg_fixed_point;

// Two 16-bit weights for the pairs a multiply-add takes.
inline __m256i Weights(std::int16_t first, std::int16_t second) {
  return _mm256_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint32_t>(
      static_cast<std::uint16_t>(second) << 16 | static_cast<std::uint16_t>(first))));
}

// The 32-bit results of a weighted sum, for the first four lanes of each half and the last four.
struct TWide {
  __m256i low, high;
};

inline TWide Sum2(__m256i a, __m256i b, const std::int16_t w[2]) {
  const __m256i weights = Weights(w[0], w[1]);
  return {_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), weights),
          _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), weights)};
}

inline TWide Sum4(__m256i a, __m256i b, __m256i c, __m256i d, const std::int16_t w[4]) {
  const __m256i ab = Weights(w[0], w[1]), cd = Weights(w[2], w[3]);
  return {_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), ab),
                           _mm256_madd_epi16(_mm256_unpacklo_epi16(c, d), cd)),
          _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), ab),
                           _mm256_madd_epi16(_mm256_unpackhi_epi16(c, d), cd))};
}

inline TWide Descale(TWide x, int n) {
  const __m256i round = _mm256_set1_epi32(1 << (n - 1));
  return {_mm256_srai_epi32(_mm256_add_epi32(x.low, round), n),
          _mm256_srai_epi32(_mm256_add_epi32(x.high, round), n)};
}

inline __m256i Narrow(TWide x) { return _mm256_packs_epi32(x.low, x.high); }

// An 8x8 transpose of 16-bit values in each 128-bit half: r[i] holds row i.
inline void Transpose(__m256i r[8]) {
  __m256i a[8], b[8];
  for (int i = 0; i < 8; i += 2) {
    a[i] = _mm256_unpacklo_epi16(r[i], r[i + 1]);
    a[i + 1] = _mm256_unpackhi_epi16(r[i], r[i + 1]);
  }
  for (int i = 0; i < 8; i += 4) {
    b[i] = _mm256_unpacklo_epi32(a[i], a[i + 2]);
    b[i + 1] = _mm256_unpackhi_epi32(a[i], a[i + 2]);
    b[i + 2] = _mm256_unpacklo_epi32(a[i + 1], a[i + 3]);
    b[i + 3] = _mm256_unpackhi_epi32(a[i + 1], a[i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    r[2 * i] = _mm256_unpacklo_epi64(b[i], b[i + 4]);
    r[2 * i + 1] = _mm256_unpackhi_epi64(b[i], b[i + 4]);
  }
}

// The first stage of the 8-point DCT of d[0] .. d[7]: the differences t4 .. t7 that the odd
// outputs are made of, and the sums and differences t10 .. t13 of the even ones.
struct TButterfly {
  __m256i t4, t5, t6, t7, t10, t11, t12, t13;
};

inline TButterfly Butterfly(const __m256i d[8]) {
  const __m256i t0 = _mm256_add_epi16(d[0], d[7]), t1 = _mm256_add_epi16(d[1], d[6]);
  const __m256i t2 = _mm256_add_epi16(d[2], d[5]), t3 = _mm256_add_epi16(d[3], d[4]);
  return {_mm256_sub_epi16(d[3], d[4]), _mm256_sub_epi16(d[2], d[5]), _mm256_sub_epi16(d[1], d[6]),
          _mm256_sub_epi16(d[0], d[7]), _mm256_add_epi16(t0, t3),     _mm256_add_epi16(t1, t2),
          _mm256_sub_epi16(t1, t2),     _mm256_sub_epi16(t0, t3)};
}

// The odd outputs 1, 3, 5, 7, descaled by n bits.
inline void OddPart(const TButterfly& t, int n, TWide out[4]) {
  out[0] = Descale(Sum4(t.t4, t.t5, t.t6, t.t7, kOut1), n);
  out[1] = Descale(Sum4(t.t4, t.t5, t.t6, t.t7, kOut3), n);
  out[2] = Descale(Sum4(t.t4, t.t5, t.t6, t.t7, kOut5), n);
  out[3] = Descale(Sum4(t.t4, t.t5, t.t6, t.t7, kOut7), n);
}

// x / 2h, rounded half away from zero, through the reciprocal m of 2h (in each 32-bit lane).
inline __m256i Divide(__m256i x, __m256i h, __m256i m) {
  const __m256i a = _mm256_add_epi32(_mm256_abs_epi32(x), h);
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(a, m), 32);
  const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(a, 32), _mm256_srli_epi64(m, 32));
  return _mm256_sign_epi32(_mm256_blend_epi32(even, odd, 0xAA), x);
}

// Divides the 32-bit coefficients of one row (four in each of low and high per half) by their
// steps, rounded half away from zero, and narrows them to 16 bits.
inline __m256i Quantize(TWide t, const __m256i half[2], const __m256i reciprocal[2]) {
  return _mm256_packs_epi32(Divide(t.low, half[0], reciprocal[0]),
                            Divide(t.high, half[1], reciprocal[1]));
}

// Byte 2 of each 32-bit lane (a result shifted down 16) for eight lanes, stored as 8 bytes.
inline void StoreThirdBytes(__m256i v, std::uint8_t* out) {
  const __m256i third_bytes =
      _mm256_setr_epi8(2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  //
                       2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, third_bytes),
                                                     _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
}

// A row's four steps of columns 0-3 (part 0) or 4-7 (part 1) for the block of each half.
inline __m256i PerHalf(const std::int32_t* a, const std::int32_t* b) {
  return _mm256_setr_m128i(_mm_load_si128(reinterpret_cast<const __m128i*>(a)),
                           _mm_load_si128(reinterpret_cast<const __m128i*>(b)));
}
inline __m256i PerHalf(const std::uint32_t* a, const std::uint32_t* b) {
  return _mm256_setr_m128i(_mm_load_si128(reinterpret_cast<const __m128i*>(a)),
                           _mm_load_si128(reinterpret_cast<const __m128i*>(b)));
}

}  // namespace

void ForwardDctPairAvx2(const TJpegBlockSource& first, const TJpegBlockSource& second) {
  // Block first in the low 128 bits of each vector, second in the high; rows of samples, less
  // 128.
  __m256i d[8];
  const __m256i center = _mm256_set1_epi16(128);
  for (int y = 0; y < 8; ++y) {
    const __m128i both = _mm_unpacklo_epi64(
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(first.samples + y * first.stride)),
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(second.samples + y * second.stride)));
    d[y] = _mm256_sub_epi16(_mm256_cvtepu8_epi16(both), center);
  }
  // Rows: d[x] holds sample x of every row. Sums stay within 16 bits in this pass.
  Transpose(d);
  {
    const TButterfly t = Butterfly(d);
    const int n = kConstBits - kPass1Bits;
    d[0] = _mm256_slli_epi16(_mm256_add_epi16(t.t10, t.t11), kPass1Bits);
    d[4] = _mm256_slli_epi16(_mm256_sub_epi16(t.t10, t.t11), kPass1Bits);
    d[2] = Narrow(Descale(Sum2(t.t12, t.t13, kOut2), n));
    d[6] = Narrow(Descale(Sum2(t.t12, t.t13, kOut6), n));
    TWide odd[4];
    OddPart(t, n, odd);
    for (int i = 0; i < 4; ++i) d[2 * i + 1] = Narrow(odd[i]);
  }
  // Columns: d[y] holds row y of the row pass's results. The sums of four rows reach 2^14, so
  // outputs 0 and 4 are formed in 32 bits.
  Transpose(d);
  const TButterfly t = Butterfly(d);
  const int n = kConstBits + kPass1Bits;
  static constexpr std::int16_t kPlus[2] = {1, 1}, kMinus[2] = {1, -1};
  TWide out[8];
  out[0] = Descale(Sum2(t.t10, t.t11, kPlus), kPass1Bits);
  out[4] = Descale(Sum2(t.t10, t.t11, kMinus), kPass1Bits);
  out[2] = Descale(Sum2(t.t12, t.t13, kOut2), n);
  out[6] = Descale(Sum2(t.t12, t.t13, kOut6), n);
  TWide odd[4];
  OddPart(t, n, odd);
  for (int i = 0; i < 4; ++i) out[2 * i + 1] = odd[i];
  for (int v = 0; v < 8; ++v) {
    const __m256i half[2] = {
        PerHalf(&first.divisors->half[8 * v], &second.divisors->half[8 * v]),
        PerHalf(&first.divisors->half[8 * v + 4], &second.divisors->half[8 * v + 4])};
    const __m256i reciprocal[2] = {
        PerHalf(&first.divisors->reciprocal[8 * v], &second.divisors->reciprocal[8 * v]),
        PerHalf(&first.divisors->reciprocal[8 * v + 4], &second.divisors->reciprocal[8 * v + 4])};
    const __m256i row = Quantize(out[v], half, reciprocal);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(first.coefficients + 8 * v),
                     _mm256_castsi256_si128(row));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(second.coefficients + 8 * v),
                     _mm256_extracti128_si256(row, 1));
  }
}

void ConvertBgrToYccAvx2(const std::uint8_t* bgr, int count, std::uint8_t* y, std::uint8_t* cb,
                         std::uint8_t* cr) {
  // Eight pixels a step, from a 32-byte load of their 24 bytes (so the loop stops while 32
  // bytes remain): each 32-bit lane gets the pairs (R, G) and (B, 0) for the multiply-adds.
  // The weights above 2^15 are split: G x 38470 = G x 5702 + G x 2^15 for Y, B x 2^15 for Cb
  // and R x 2^15 for Cr are shifts.
  const __m256i spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
  const __m256i take_rg =
      _mm256_setr_epi8(2, -1, 1, -1, 5, -1, 4, -1, 8, -1, 7, -1, 11, -1, 10, -1,  //
                       2, -1, 1, -1, 5, -1, 4, -1, 8, -1, 7, -1, 11, -1, 10, -1);
  const __m256i take_b =
      _mm256_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1,  //
                       0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
  const __m256i y_rg = _mm256_set1_epi32((kGY - kHalf) << 16 | kRY);
  const __m256i cb_rg = _mm256_set1_epi32(static_cast<std::int32_t>(
      static_cast<std::uint32_t>(-kGCb) << 16 | static_cast<std::uint16_t>(-kRCb)));
  const __m256i cr_g =
      _mm256_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint32_t>(-kGCr) << 16));
  const __m256i y_round = _mm256_set1_epi32(kHalf);
  const __m256i chroma_round = _mm256_set1_epi32(kChromaOffset);
  int i = 0;
  for (; 3 * i + 32 <= 3 * count; i += 8) {
    const __m256i raw = _mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bgr + 3 * i)), spread);
    const __m256i rg = _mm256_shuffle_epi8(raw, take_rg);
    const __m256i b = _mm256_shuffle_epi8(raw, take_b);
    const __m256i g = _mm256_srli_epi32(rg, 16);
    const __m256i r = _mm256_and_si256(rg, _mm256_set1_epi32(0xFFFF));
    __m256i yv = _mm256_add_epi32(_mm256_madd_epi16(rg, y_rg), _mm256_slli_epi32(g, 15));
    yv = _mm256_add_epi32(yv,
                          _mm256_add_epi32(_mm256_madd_epi16(b, _mm256_set1_epi32(kBY)), y_round));
    __m256i cbv = _mm256_add_epi32(_mm256_madd_epi16(rg, cb_rg), _mm256_slli_epi32(b, 15));
    cbv = _mm256_add_epi32(cbv, chroma_round);
    __m256i crv = _mm256_add_epi32(_mm256_madd_epi16(rg, cr_g), _mm256_slli_epi32(r, 15));
    crv = _mm256_add_epi32(
        crv, _mm256_sub_epi32(chroma_round, _mm256_madd_epi16(b, _mm256_set1_epi32(kBCr))));
    StoreThirdBytes(yv, y + i);
    StoreThirdBytes(cbv, cb + i);
    StoreThirdBytes(crv, cr + i);
  }
  // The last pixels as the portable form converts them.
  if (i < count) ConvertBgrToYcc(bgr + 3 * i, count - i, y + i, cb + i, cr + i);
}

void DownsampleRowsAvx2(const std::uint8_t* upper, const std::uint8_t* lower, int count,
                        std::uint8_t* out) {
  const __m256i ones = _mm256_set1_epi8(1);
  const __m256i bias = _mm256_set1_epi32(2 << 16 | 1);  // 1 for even outputs, 2 for odd
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(upper + 2 * i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lower + 2 * i));
    __m256i sum = _mm256_add_epi16(_mm256_maddubs_epi16(a, ones), _mm256_maddubs_epi16(b, ones));
    sum = _mm256_srli_epi16(_mm256_add_epi16(sum, bias), 2);
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(sum, sum), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm256_castsi256_si128(packed));
  }
  // The rest as the portable form averages them (i is even, so the biases keep their places).
  if (i < count) DownsampleRows(upper + 2 * i, lower + 2 * i, count - i, out + i);
}

}  // namespace qv

#pragma GCC pop_options

#endif  // QV_SIMD_X86
