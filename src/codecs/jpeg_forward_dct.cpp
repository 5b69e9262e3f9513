// The DCT is the LL&M factorization libjpeg calls "islow": 12 multiplications per 8 samples,
// constants with 13 fraction bits, and 2 extra bits kept between the row pass and the column
// pass. Its results come out eight times the true coefficients.
#include "codecs/jpeg_forward_dct.h"

#include <immintrin.h>

#include "codecs/jpeg_baseline_header.h"

// Everything below is compiled for AVX2, and none of it instantiates a template shared with
// other files, so no AVX2 copy of a shared function can stand in for a plain one.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace qv {

namespace {

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;

constexpr std::int32_t k0_298631336 = 2446;
constexpr std::int32_t k0_390180644 = 3196;
constexpr std::int32_t k0_541196100 = 4433;
constexpr std::int32_t k0_765366865 = 6270;
constexpr std::int32_t k0_899976223 = 7373;
constexpr std::int32_t k1_175875602 = 9633;
constexpr std::int32_t k1_501321110 = 12299;
constexpr std::int32_t k1_847759065 = 15137;
constexpr std::int32_t k1_961570560 = 16069;
constexpr std::int32_t k2_053119869 = 16819;
constexpr std::int32_t k2_562915447 = 20995;
constexpr std::int32_t k3_072711026 = 25172;

// The colour weights in 16 fraction bits (each x 65536, rounded).
constexpr std::int32_t kRY = 19595, kGY = 38470, kBY = 7471;
constexpr std::int32_t kRCb = 11059, kGCb = 21709, kHalf = 32768;
constexpr std::int32_t kGCr = 27439, kBCr = 5329;
constexpr std::int32_t kChromaOffset = (128 << 16) + 32767;

constexpr std::int32_t Descale(std::int32_t x, int n) { return (x + (1 << (n - 1))) >> n; }

// One 8-point DCT, on values of any type that adds and multiplies like int32 (a lane each). The
// first pass keeps kPass1Bits more bits; the second takes them off.
template <bool kFirstPass, typename V, typename Mul, typename Shift>
inline void Dct8(V d[8], Mul mul, Shift descale) {
  const int even_shift = kFirstPass ? 0 : kPass1Bits;
  const int odd_shift = kFirstPass ? kConstBits - kPass1Bits : kConstBits + kPass1Bits;
  V tmp0 = d[0] + d[7], tmp7 = d[0] - d[7];
  V tmp1 = d[1] + d[6], tmp6 = d[1] - d[6];
  V tmp2 = d[2] + d[5], tmp5 = d[2] - d[5];
  V tmp3 = d[3] + d[4], tmp4 = d[3] - d[4];
  V tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
  V tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
  if constexpr (kFirstPass) {
    d[0] = descale(tmp10 + tmp11, -kPass1Bits);
    d[4] = descale(tmp10 - tmp11, -kPass1Bits);
  } else {
    d[0] = descale(tmp10 + tmp11, even_shift);
    d[4] = descale(tmp10 - tmp11, even_shift);
  }
  V z1 = mul(tmp12 + tmp13, k0_541196100);
  d[2] = descale(z1 + mul(tmp13, k0_765366865), odd_shift);
  d[6] = descale(z1 - mul(tmp12, k1_847759065), odd_shift);
  z1 = tmp4 + tmp7;
  V z2 = tmp5 + tmp6, z3 = tmp4 + tmp6, z4 = tmp5 + tmp7;
  V z5 = mul(z3 + z4, k1_175875602);
  tmp4 = mul(tmp4, k0_298631336);
  tmp5 = mul(tmp5, k2_053119869);
  tmp6 = mul(tmp6, k3_072711026);
  tmp7 = mul(tmp7, k1_501321110);
  z1 = mul(z1, -k0_899976223);
  z2 = mul(z2, -k2_562915447);
  z3 = mul(z3, -k1_961570560) + z5;
  z4 = mul(z4, -k0_390180644) + z5;
  d[7] = descale(tmp4 + z1 + z3, odd_shift);
  d[5] = descale(tmp5 + z2 + z4, odd_shift);
  d[3] = descale(tmp6 + z2 + z3, odd_shift);
  d[1] = descale(tmp7 + z1 + z4, odd_shift);
}

struct TVec {
  __m256i v;
};

inline TVec operator+(TVec a, TVec b) { return {_mm256_add_epi32(a.v, b.v)}; }
inline TVec operator-(TVec a, TVec b) { return {_mm256_sub_epi32(a.v, b.v)}; }

// Rows to columns: r[i] holds row i of an 8x8 block of int32.
inline void Transpose(TVec r[8]) {
  __m256i t[8], u[8];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_epi32(r[i].v, r[i + 1].v);
    t[i + 1] = _mm256_unpackhi_epi32(r[i].v, r[i + 1].v);
  }
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
    u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
    u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
    u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    r[i].v = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
    r[i + 4].v = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
  }
}

}  // namespace

void ForwardDct(const std::uint8_t* block, std::ptrdiff_t stride, const TJpegDivisors& divisors,
                std::int16_t* coefficients) {
  auto mul = [](TVec x, std::int32_t c) {
    return TVec{_mm256_mullo_epi32(x.v, _mm256_set1_epi32(c))};
  };
  auto descale = [](TVec x, int n) {
    if (n < 0) return TVec{_mm256_slli_epi32(x.v, -n)};
    return TVec{_mm256_srai_epi32(_mm256_add_epi32(x.v, _mm256_set1_epi32(1 << (n - 1))), n)};
  };
  TVec d[8];
  const __m256i center = _mm256_set1_epi32(128);
  for (int y = 0; y < 8; ++y) {
    const __m128i row = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(block + y * stride));
    d[y].v = _mm256_sub_epi32(_mm256_cvtepu8_epi32(row), center);
  }
  Transpose(d);  // d[x]: sample x of each row
  Dct8<true>(d, mul, descale);
  Transpose(d);  // d[y]: row y of the first pass's results
  Dct8<false>(d, mul, descale);
  __m256i q[8];
  for (int y = 0; y < 8; ++y) {
    const __m256i t = d[y].v;
    const __m256i a = _mm256_add_epi32(
        _mm256_abs_epi32(t),
        _mm256_load_si256(reinterpret_cast<const __m256i*>(&divisors.half[y * 8])));
    const __m256i m =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(&divisors.reciprocal[y * 8]));
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(a, m), 32);
    const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(a, 32), _mm256_srli_epi64(m, 32));
    q[y] = _mm256_sign_epi32(_mm256_blend_epi32(even, odd, 0xAA), t);
  }
  // Two rows to a vector of 16-bit values, in order.
  for (int y = 0; y < 8; y += 2) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(coefficients + 8 * y),
                        _mm256_permute4x64_epi64(_mm256_packs_epi32(q[y], q[y + 1]), 0xD8));
  }
}

void ConvertBgrToYcc(const std::uint8_t* bgr, int count, std::uint8_t* y, std::uint8_t* cb,
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
  // Byte 2 of each lane is the result shifted down 16; gather those to the low 8 bytes.
  const __m256i third_bytes =
      _mm256_setr_epi8(2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  //
                       2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i join = _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1);
  auto store8 = [&](__m256i v, std::uint8_t* out) {
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, third_bytes), join);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
  };
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
    store8(yv, y + i);
    store8(cbv, cb + i);
    store8(crv, cr + i);
  }
  for (; i < count; ++i) {
    const std::int32_t b = bgr[3 * i], g = bgr[3 * i + 1], r = bgr[3 * i + 2];
    y[i] = static_cast<std::uint8_t>((kRY * r + kGY * g + kBY * b + kHalf) >> 16);
    cb[i] = static_cast<std::uint8_t>((kHalf * b - kRCb * r - kGCb * g + kChromaOffset) >> 16);
    cr[i] = static_cast<std::uint8_t>((kHalf * r - kGCr * g - kBCr * b + kChromaOffset) >> 16);
  }
}

void DownsampleRows(const std::uint8_t* upper, const std::uint8_t* lower, int count,
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
  for (; i < count; ++i) {
    out[i] = static_cast<std::uint8_t>(
        (upper[2 * i] + upper[2 * i + 1] + lower[2 * i] + lower[2 * i + 1] + 1 + (i & 1)) >> 2);
  }
}

}  // namespace qv

#pragma GCC pop_options

namespace qv {

TJpegDivisors::TJpegDivisors(const std::array<std::uint16_t, 64>& steps) {
  for (int i = 0; i < 64; ++i) {
    const std::uint64_t d = 8u * steps[i];
    half[i] = static_cast<std::int32_t>(d / 2);
    reciprocal[i] = static_cast<std::uint32_t>(((std::uint64_t{1} << 32) + d - 1) / d);
  }
}

bool JpegSampleCodeRuns() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

}  // namespace qv
