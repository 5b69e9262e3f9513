#include "codecs/jpeg_huffman_coder.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qv {

namespace {

// For each group of four coefficients (row-major) and which of them are not zero, those bits at
// their places in the zigzag order. Groups of four keep the table at 2 KiB, out of the way of
// the other work in the level-1 cache.
struct TZigzagBits {
  std::uint64_t bits[16][16];
  TZigzagBits() : bits{} {
    int place[64];
    for (int k = 0; k < 64; ++k) place[kJpegNaturalOrder[k]] = k;
    for (int g = 0; g < 16; ++g)
      for (int v = 0; v < 16; ++v)
        for (int c = 0; c < 4; ++c)
          if (v >> c & 1) bits[g][v] |= std::uint64_t{1} << place[4 * g + c];
  }
};
const TZigzagBits kZigzagBits;

// Bit k set when the coefficient at place k of the zigzag order is not zero.
std::uint64_t NonZero(const std::int16_t* coefficients) {
  std::uint64_t row_major;
#ifdef __SSE2__
  std::uint64_t zeros = 0;
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + i + 8));
    const __m128i z = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
    zeros |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(z))) << i;
  }
  row_major = ~zeros;
#else
  row_major = 0;
  for (int i = 0; i < 64; ++i) row_major |= std::uint64_t{coefficients[i] != 0} << i;
#endif
  std::uint64_t zigzag = 0;
  for (int g = 0; g < 16; ++g) zigzag |= kZigzagBits.bits[g][(row_major >> (4 * g)) & 0xF];
  return zigzag;
}

// The size category of a value (bits of its magnitude) and the bits that follow its code: the
// value itself when positive, one less when negative, in category bits.
inline int Category(int value) {
  const unsigned magnitude = static_cast<unsigned>(value < 0 ? -value : value);
  return magnitude == 0 ? 0 : 32 - __builtin_clz(magnitude);
}
inline std::uint32_t ExtraBits(int value, int category) {
  return static_cast<std::uint32_t>(value - (value < 0)) & ((1u << category) - 1);
}

}  // namespace

void TJpegBitString::Reserve(std::size_t n) {
  if (size_ + n > bytes_.size()) bytes_.resize(std::max(2 * bytes_.size(), size_ + n));
}

void TJpegBitString::PutBlock(const std::int16_t* coefficients, int& last_dc,
                              const TJpegHuffmanCodes& dc, const TJpegHuffmanCodes& ac) {
  const int diff = coefficients[0] - last_dc;
  last_dc = coefficients[0];
  int category = Category(diff);
  Put(static_cast<std::uint32_t>(dc.code[category]) << category | ExtraBits(diff, category),
      dc.size[category] + category);
  std::uint64_t left = NonZero(coefficients) & ~std::uint64_t{1};
  int last = 0;  // the place of the last coefficient coded
  while (left != 0) {
    const int k = __builtin_ctzll(left);
    left &= left - 1;
    int run = k - last - 1;
    for (; run > 15; run -= 16) Put(ac.code[0xF0], ac.size[0xF0]);
    const int value = coefficients[kJpegNaturalOrder[k]];
    category = Category(value);
    const int symbol = run << 4 | category;
    Put(static_cast<std::uint32_t>(ac.code[symbol]) << category | ExtraBits(value, category),
        ac.size[symbol] + category);
    last = k;
  }
  if (last != 63) Put(ac.code[0], ac.size[0]);  // end of block
}

void TJpegScanWriter::Room(std::size_t n) {
  if (used_ + n > out_.size()) out_.resize(std::max(2 * out_.size(), used_ + n));
}

void TJpegScanWriter::Emit(std::uint32_t word) {
  std::uint8_t* p = out_.data() + used_;
  // A byte 0xFF is followed by 0x00; (x - 0x01010101) & ~x & 0x80808080 finds a zero byte of x.
  const std::uint32_t inverse = ~word;
  if (((inverse - 0x01010101u) & ~inverse & 0x80808080u) == 0) {
    p[0] = static_cast<std::uint8_t>(word >> 24);
    p[1] = static_cast<std::uint8_t>(word >> 16);
    p[2] = static_cast<std::uint8_t>(word >> 8);
    p[3] = static_cast<std::uint8_t>(word);
    used_ += 4;
    return;
  }
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto byte = static_cast<std::uint8_t>(word >> shift);
    *p++ = byte;
    if (byte == 0xFF) *p++ = 0;
  }
  used_ = static_cast<std::size_t>(p - out_.data());
}

void TJpegScanWriter::Put(std::uint32_t bits, int count) {
  buffer_ = buffer_ << count | bits;
  held_ += count;
  if (held_ >= 32) {
    held_ -= 32;
    Emit(static_cast<std::uint32_t>(buffer_ >> held_));
  }
}

void TJpegScanWriter::Append(const TJpegBitString& bits) {
  // At worst every byte is stuffed.
  Room(2 * bits.Size() + 32);
  const std::uint8_t* p = bits.Data();
  for (std::size_t i = 0; i < bits.Size(); i += 4, p += 4) {
    Put(static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
            static_cast<std::uint32_t>(p[2]) << 8 | p[3],
        32);
  }
  const int tail = bits.TailCount();
  const std::uint64_t tail_bits = bits.TailBits();
  if (tail > 32) Put(static_cast<std::uint32_t>(tail_bits >> 32), tail - 32);
  Put(static_cast<std::uint32_t>(tail_bits), std::min(tail, 32));
}

void TJpegScanWriter::Finish() {
  Room(16);
  // Fill to a whole byte with 1 bits, then write the whole bytes held.
  const int fill = (8 - held_ % 8) % 8;
  buffer_ = buffer_ << fill | ((1u << fill) - 1);
  held_ += fill;
  std::uint8_t* p = out_.data() + used_;
  while (held_ > 0) {
    held_ -= 8;
    const auto byte = static_cast<std::uint8_t>(buffer_ >> held_);
    *p++ = byte;
    if (byte == 0xFF) *p++ = 0;
  }
  used_ = static_cast<std::size_t>(p - out_.data());
  out_.resize(used_);
}

}  // namespace qv
