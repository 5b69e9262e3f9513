// The markers libjpeg writes before the compressed data of a baseline colour JPEG, read back
// with the tables they carry, so that pictures can be compressed here in bands on several
// threads and still come out byte for byte as libjpeg writes them: the header is libjpeg's
// own (with the picture's size put in), and the data is made with its tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qv {

// The codes of one Huffman table, by symbol: code[s] in its low size[s] bits (size 0: the
// table has no code for s).
struct TJpegHuffmanCodes {
  std::array<std::uint16_t, 256> code{};
  std::array<std::uint8_t, 256> size{};
};

// Row-major index of the coefficient at each place of the zigzag order.
extern const std::array<std::uint8_t, 64> kJpegNaturalOrder;

struct TJpegBaselineHeader {
  // The components in frame order: Y sampled 2x2, then Cb and Cr 1x1.
  static constexpr int kComponents = 3;
  // Everything before the compressed data, up to the end of the scan header.
  std::vector<std::uint8_t> bytes;
  // Where the frame header keeps the height and the width (two bytes each, big-endian).
  std::size_t size_offset = 0;
  // Each component's quantization step per coefficient, row-major.
  std::array<std::array<std::uint16_t, 64>, kComponents> quant{};
  std::array<TJpegHuffmanCodes, kComponents> dc{};
  std::array<TJpegHuffmanCodes, kComponents> ac{};

  // The header of stream, a whole JPEG file, when it is one this encoder can continue: one
  // sequential Huffman-coded scan of three 8-bit components sampled 2x2, 1x1, 1x1, with no
  // restart interval. Nothing otherwise.
  static std::optional<TJpegBaselineHeader> Read(const std::vector<std::uint8_t>& stream);

  // The header for a picture of width x height (both 1 to 65535).
  std::vector<std::uint8_t> ForSize(int width, int height) const;
};

}  // namespace qv
