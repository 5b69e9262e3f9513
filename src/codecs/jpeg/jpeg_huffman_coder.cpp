// Huffman coding of blocks, and the joining of coded bands into a scan with its byte stuffing.
#include "codecs/jpeg/jpeg_huffman_coder.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace qv {

void TJpegBitString::Reserve(std::size_t n) {
  if (size_ + n > bytes_.size()) bytes_.resize(std::max(2 * bytes_.size(), size_ + n));
}

namespace {

// The size category of a value: the number of bits of its magnitude.
int Category(int value) {
  return static_cast<int>(std::bit_width(static_cast<unsigned>(std::abs(value))));
}

// The bits after a code: the value itself when positive, one less when negative, in as many
// bits as its category.
std::uint32_t ExtraBits(int value, int category) {
  return static_cast<std::uint32_t>(value + (value >> 31)) & ((1u << category) - 1);
}

}  // namespace

void PutJpegBlock(TJpegBitString& bits, const std::int16_t* coefficients, int& last_dc,
                  const TJpegHuffmanCodes& dc, const TJpegHuffmanCodes& ac) {
  const int diff = coefficients[0] - last_dc;
  last_dc = coefficients[0];
  const int dc_category = Category(diff);
  bits.Put(static_cast<std::uint32_t>(dc.code[dc_category]) << dc_category |
               ExtraBits(diff, dc_category),
           dc.size[dc_category] + dc_category);
  int run = 0;
  for (int place = 1; place < 64; ++place) {
    const int value = coefficients[kJpegNaturalOrder[place]];
    if (value == 0) {
      ++run;
      continue;
    }
    for (; run > 15; run -= 16) bits.Put(ac.code[0xF0], ac.size[0xF0]);
    const int category = Category(value);
    const int symbol = run << 4 | category;
    bits.Put(static_cast<std::uint32_t>(ac.code[symbol]) << category | ExtraBits(value, category),
             ac.size[symbol] + category);
    run = 0;
  }
  if (run > 0) bits.Put(ac.code[0], ac.size[0]);  // end of block
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
