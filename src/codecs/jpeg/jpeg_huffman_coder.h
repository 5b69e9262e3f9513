// Huffman coding of quantized 8x8 blocks as a baseline JPEG scan codes them, into bit strings
// that can be made apart and joined afterwards: a band of a picture is coded on its own, and
// its bits are appended after the last band's, with the stuffing of 0xFF bytes done then.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/jpeg/jpeg_baseline_header.h"
#include "simd/cpu_features.h"

namespace qv {

// Bits appended most significant first, without stuffing.
class TJpegBitString {
 public:
  // Appends the low count bits of bits (count at most 32).
  void Put(std::uint32_t bits, int count) {
    if (count <= free_) {
      buffer_ = buffer_ << count | bits;
      free_ -= count;
      return;
    }
    // The buffer fills up: its 64 bits go out, the rest of bits stays.
    const int rest = count - free_;
    Spill(buffer_ << free_ | static_cast<std::uint64_t>(bits) >> rest);
    buffer_ = bits;
    free_ = 64 - rest;
  }
  // Makes room for at least n more bytes, so that Put needs no allocation until then.
  void Reserve(std::size_t n);

  // The whole bytes so far (a multiple of 8), and how many bits follow them (at most 64, the
  // low bits of TailBits()).
  const std::uint8_t* Data() const { return bytes_.data(); }
  std::size_t Size() const { return size_; }
  int TailCount() const { return 64 - free_; }
  std::uint64_t TailBits() const {
    return free_ == 0 ? buffer_ : buffer_ & ((std::uint64_t{1} << (64 - free_)) - 1);
  }

 private:
  void Spill(std::uint64_t word) {
    // Most significant byte first.
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    std::memcpy(bytes_.data() + size_, &word, 8);
    size_ += 8;
  }

#if defined(QV_SIMD_X86)
  // Keeps the bit buffer in registers while it codes a block (jpeg_huffman_coder_x86.cpp).
  friend void PutJpegBlockAvx2(TJpegBitString& bits, const std::int16_t* coefficients, int& last_dc,
                               const TJpegHuffmanCodes& dc, const TJpegHuffmanCodes& ac);
#endif

  std::vector<std::uint8_t> bytes_;  // size_ of them are used; the rest is room
  std::size_t size_ = 0;
  std::uint64_t buffer_ = 0;
  int free_ = 64;  // bits of buffer_ not yet used
};

// Codes one block (coefficients row-major) after what bits holds, with libjpeg's symbols: the
// DC difference from last_dc (the DC of the component's block before it, which becomes this
// one's), then each run of zeros and the coefficient after it in zigzag order, runs of 16 zeros
// and the end of the block as they come. Room for the block's bits must be reserved. The
// portable form of the band encoder's block coder (jpeg_kernels.h).
void PutJpegBlock(TJpegBitString& bits, const std::int16_t* coefficients, int& last_dc,
                  const TJpegHuffmanCodes& dc, const TJpegHuffmanCodes& ac);

// The compressed data of a scan: bit strings joined, with a 0x00 after every 0xFF byte, and the
// last byte filled up with 1 bits.
class TJpegScanWriter {
 public:
  // Writes after what out holds already.
  explicit TJpegScanWriter(std::vector<std::uint8_t>& out) : out_(out), used_(out.size()) {}
  void Append(const TJpegBitString& bits);
  // Fills the last byte with 1 bits and writes it; out then ends with it.
  void Finish();

 private:
  void Put(std::uint32_t bits, int count);
  void Emit(std::uint32_t word);
  void Room(std::size_t n);

  std::vector<std::uint8_t>& out_;
  std::size_t used_;  // bytes of out_ written; the rest is room
  std::uint64_t buffer_ = 0;
  int held_ = 0;
};

}  // namespace qv
