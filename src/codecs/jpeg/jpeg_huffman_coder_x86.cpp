// The band encoder's block coder for x86 processors with AVX2 and BMI2: the categories of all
// 64 coefficients at once, the zigzag order by byte shuffles, and each coefficient to code found
// past its run of zeros by counting trailing zeros. The same bits as PutJpegBlock.
#include "codecs/jpeg/jpeg_huffman_coder_x86.h"

#if defined(QV_SIMD_X86)

#include <immintrin.h>

#include <cstdlib>
#include <cstring>

namespace qv {

namespace {

// vpshufb masks that move a block's 64 bytes from row-major order into the zigzag order. Half h
// of the result (places 32h to 32h + 31) is put together from the four 16-byte chunks of the
// row-major bytes, each broadcast to both lanes: from chunk s, mask[h][s] takes the byte each
// place needs when it lies in that chunk, and nothing (0x80) otherwise.
struct TZigzagShuffles {
  alignas(32) std::uint8_t mask[2][4][32];
  TZigzagShuffles() {
    for (int h = 0; h < 2; ++h)
      for (int s = 0; s < 4; ++s)
        for (int j = 0; j < 32; ++j) {
          const int natural = kJpegNaturalOrder[32 * h + j];
          mask[h][s][j] = static_cast<std::uint8_t>(natural / 16 == s ? natural % 16 : 0x80);
        }
  }
};
const TZigzagShuffles kZigzagShuffles;

}  // namespace

// Compiled for AVX2 and BMI2, with nothing in between that other files share (no template is
// made here).
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2,lzcnt")

void PutJpegBlockAvx2(TJpegBitString& bits, const std::int16_t* coefficients, int& last_dc,
                      const TJpegHuffmanCodes& dc, const TJpegHuffmanCodes& ac) {
  // The size category of every coefficient (the bits of its magnitude: the exponent of the
  // magnitude as a float), one byte each, row-major and then in zigzag order; the zigzag ones
  // that are not zero mark the coefficients to code.
  alignas(32) std::uint8_t row_major[64];
  alignas(32) std::uint8_t categories[64];
  for (int half = 0; half < 2; ++half) {
    __m256i words[2];
    for (int k = 0; k < 2; ++k) {
      const __m256i magnitude = _mm256_abs_epi16(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coefficients + 32 * half + 16 * k)));
      const __m256i low = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(magnitude));
      const __m256i high = _mm256_cvtepu16_epi32(_mm256_extracti128_si256(magnitude, 1));
      const __m256i low_exponent =
          _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(low)), 23);
      const __m256i high_exponent =
          _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(high)), 23);
      // Packing works within lanes; the 64-bit permutes put the values back in order.
      words[k] = _mm256_permute4x64_epi64(
          _mm256_subs_epu16(_mm256_packus_epi32(low_exponent, high_exponent),
                            _mm256_set1_epi16(126)),
          0xD8);
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(row_major + 32 * half),
                       _mm256_permute4x64_epi64(_mm256_packus_epi16(words[0], words[1]), 0xD8));
  }
  std::uint64_t nonzero = 0;
  for (int half = 0; half < 2; ++half) {
    __m256i zigzag = _mm256_setzero_si256();
    for (int s = 0; s < 4; ++s) {
      const __m256i chunk = _mm256_broadcastsi128_si256(
          _mm_load_si128(reinterpret_cast<const __m128i*>(row_major + 16 * s)));
      zigzag = _mm256_or_si256(
          zigzag, _mm256_shuffle_epi8(chunk, _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                                 kZigzagShuffles.mask[half][s]))));
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(categories + 32 * half), zigzag);
    const auto zeros = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(zigzag, _mm256_setzero_si256())));
    nonzero |= static_cast<std::uint64_t>(~zeros) << (32 * half);
  }

  // The bit buffer is kept in locals while the block is coded: the bytes written through a
  // byte pointer could alias the members.
  std::uint64_t buffer = bits.buffer_;
  int free = bits.free_;
  std::uint8_t* out = bits.bytes_.data() + bits.size_;
  auto put = [&](std::uint32_t code, int count) {
    if (count <= free) {
      buffer = buffer << count | code;
      free -= count;
      return;
    }
    // The buffer fills up: its 64 bits go out, the rest of the code stays.
    const int rest = count - free;
    const std::uint64_t word =
        __builtin_bswap64(buffer << free | static_cast<std::uint64_t>(code) >> rest);
    std::memcpy(out, &word, 8);
    out += 8;
    buffer = code;
    free = 64 - rest;
  };
  // The bits after a code: the value itself when positive, one less when negative, in as many
  // bits as its category.
  auto extra = [](int value, int category) {
    return _bzhi_u32(static_cast<std::uint32_t>(value + (value >> 31)),
                     static_cast<unsigned>(category));
  };

  const int diff = coefficients[0] - last_dc;
  last_dc = coefficients[0];
  const int category =
      32 - static_cast<int>(_lzcnt_u32(static_cast<std::uint32_t>(std::abs(diff))));
  put(static_cast<std::uint32_t>(dc.code[category]) << category | extra(diff, category),
      dc.size[category] + category);
  // Each coefficient to code is found past the run of zeros before it: the trailing zeros of
  // the marks after the last one coded.
  std::uint64_t left = nonzero >> 1;
  int place = 0;  // the place of the last coefficient coded
  while (left != 0) {
    int run = static_cast<int>(_tzcnt_u64(left));
    left = left >> run >> 1;
    place += run + 1;
    for (; run > 15; run -= 16) put(ac.code[0xF0], ac.size[0xF0]);
    const int size = categories[place];
    const int symbol = run << 4 | size;
    put(static_cast<std::uint32_t>(ac.code[symbol]) << size |
            extra(coefficients[kJpegNaturalOrder[place]], size),
        ac.size[symbol] + size);
  }
  if (place != 63) put(ac.code[0], ac.size[0]);  // end of block
  bits.buffer_ = buffer;
  bits.free_ = free;
  bits.size_ = static_cast<std::size_t>(out - bits.bytes_.data());
}

#pragma GCC pop_options

}  // namespace qv

#endif  // QV_SIMD_X86
