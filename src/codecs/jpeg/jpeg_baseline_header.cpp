#include "codecs/jpeg/jpeg_baseline_header.h"

#include <map>

namespace qv {

const std::array<std::uint8_t, 64> kJpegNaturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

namespace {

// A table as the DHT marker gives it: how many codes of each length 1 to 16, then the symbols
// in order of their codes.
struct TDhtTable {
  std::array<std::uint8_t, 16> counts{};
  std::vector<std::uint8_t> symbols;
};

// Codes are given out in order, shortest first; each length's first code is the last length's
// next code doubled.
std::optional<TJpegHuffmanCodes> BuildCodes(const TDhtTable& table, bool dc) {
  TJpegHuffmanCodes codes;
  unsigned next = 0;
  std::size_t k = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < table.counts[length - 1]; ++i, ++k) {
      if (k >= table.symbols.size() || next >= (1u << length)) return std::nullopt;
      const std::uint8_t symbol = table.symbols[k];
      if (codes.size[symbol] != 0 || (dc && symbol > 11)) return std::nullopt;
      codes.code[symbol] = static_cast<std::uint16_t>(next++);
      codes.size[symbol] = static_cast<std::uint8_t>(length);
    }
    next <<= 1;
  }
  // Every symbol a block may need must have a code: the DC size categories 0 to 11; the AC
  // end of block, run of 16 zeros, and each run of 0 to 15 zeros before sizes 1 to 10.
  auto missing = [&](int symbol) { return codes.size[symbol] == 0; };
  if (dc) {
    for (int s = 0; s <= 11; ++s)
      if (missing(s)) return std::nullopt;
  } else {
    if (missing(0x00) || missing(0xF0)) return std::nullopt;
    for (int run = 0; run < 16; ++run)
      for (int size = 1; size <= 10; ++size)
        if (missing(run << 4 | size)) return std::nullopt;
  }
  return codes;
}

class TReader {
 public:
  explicit TReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  bool Has(std::size_t n) const { return pos_ + n <= bytes_.size(); }
  std::uint8_t Byte() { return bytes_[pos_++]; }
  unsigned Word() {
    unsigned high = Byte();
    return high << 8 | Byte();
  }
  std::size_t Pos() const { return pos_; }
  void Seek(std::size_t pos) { pos_ = pos; }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<TJpegBaselineHeader> TJpegBaselineHeader::Read(
    const std::vector<std::uint8_t>& stream) {
  TReader in(stream);
  if (!in.Has(2) || in.Word() != 0xFFD8) return std::nullopt;
  std::map<int, std::array<std::uint16_t, 64>> quant_tables;  // by table number
  std::map<int, TDhtTable> huffman_tables;                    // by class * 4 + number
  struct TComponent {
    int id = 0, sampling = 0, quant = 0, dc = -1, ac = -1;
  };
  std::array<TComponent, kComponents> components;
  std::size_t size_offset = 0;
  bool have_frame = false;
  for (;;) {
    if (!in.Has(4) || in.Byte() != 0xFF) return std::nullopt;
    int marker = in.Byte();
    while (marker == 0xFF && in.Has(1)) marker = in.Byte();  // fill bytes
    const std::size_t start = in.Pos();
    if (!in.Has(2)) return std::nullopt;
    const unsigned length = in.Word();
    if (length < 2 || !in.Has(length - 2)) return std::nullopt;
    const std::size_t end = start + length;
    if (marker == 0xDB) {  // quantization tables
      while (in.Pos() < end) {
        const int pq_tq = in.Byte();
        if ((pq_tq >> 4) != 0 || (pq_tq & 15) > 3 || in.Pos() + 64 > end) return std::nullopt;
        std::array<std::uint16_t, 64> table{};
        for (int k = 0; k < 64; ++k) table[kJpegNaturalOrder[k]] = in.Byte();
        for (auto step : table)
          if (step == 0) return std::nullopt;
        quant_tables[pq_tq & 15] = table;
      }
    } else if (marker == 0xC4) {  // Huffman tables
      while (in.Pos() < end) {
        if (in.Pos() + 17 > end) return std::nullopt;
        const int tc_th = in.Byte();
        if ((tc_th >> 4) > 1 || (tc_th & 15) > 3) return std::nullopt;
        TDhtTable table;
        std::size_t total = 0;
        for (auto& count : table.counts) total += count = in.Byte();
        if (in.Pos() + total > end) return std::nullopt;
        for (std::size_t i = 0; i < total; ++i) table.symbols.push_back(in.Byte());
        huffman_tables[(tc_th >> 4) * 4 + (tc_th & 15)] = table;
      }
    } else if (marker == 0xC0) {  // baseline frame
      if (length != 8 + 3 * kComponents || in.Byte() != 8) return std::nullopt;
      size_offset = in.Pos();
      in.Word();
      in.Word();
      if (in.Byte() != kComponents) return std::nullopt;
      for (auto& c : components) {
        c.id = in.Byte();
        c.sampling = in.Byte();
        c.quant = in.Byte();
      }
      if (components[0].sampling != 0x22 || components[1].sampling != 0x11 ||
          components[2].sampling != 0x11)
        return std::nullopt;
      have_frame = true;
    } else if (marker == 0xDA) {  // the scan: the header ends with it
      if (!have_frame || length != 6 + 2 * kComponents || in.Byte() != kComponents)
        return std::nullopt;
      for (auto& c : components) {
        if (in.Byte() != c.id) return std::nullopt;
        const int tables = in.Byte();
        c.dc = tables >> 4;
        c.ac = tables & 15;
      }
      if (in.Byte() != 0 || in.Byte() != 63 || in.Byte() != 0) return std::nullopt;
      TJpegBaselineHeader header;
      header.bytes.assign(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(end));
      header.size_offset = size_offset;
      for (int i = 0; i < kComponents; ++i) {
        const TComponent& c = components[i];
        auto quant = quant_tables.find(c.quant);
        auto dc = huffman_tables.find(c.dc);
        auto ac = huffman_tables.find(4 + c.ac);
        if (quant == quant_tables.end() || dc == huffman_tables.end() || ac == huffman_tables.end())
          return std::nullopt;
        auto dc_codes = BuildCodes(dc->second, true);
        auto ac_codes = BuildCodes(ac->second, false);
        if (!dc_codes || !ac_codes) return std::nullopt;
        header.quant[i] = quant->second;
        header.dc[i] = *dc_codes;
        header.ac[i] = *ac_codes;
      }
      return header;
    } else if (marker == 0xDD) {  // restart interval: only none is continued here
      if (length != 4 || in.Word() != 0) return std::nullopt;
    } else if ((marker >= 0xC1 && marker <= 0xCF) || marker == 0xD8 || marker == 0xD9 ||
               (marker >= 0xD0 && marker <= 0xD7)) {
      return std::nullopt;  // another kind of frame, or no header at all
    }
    in.Seek(end);
  }
}

std::vector<std::uint8_t> TJpegBaselineHeader::ForSize(int width, int height) const {
  std::vector<std::uint8_t> out = bytes;
  out[size_offset] = static_cast<std::uint8_t>(height >> 8);
  out[size_offset + 1] = static_cast<std::uint8_t>(height);
  out[size_offset + 2] = static_cast<std::uint8_t>(width >> 8);
  out[size_offset + 3] = static_cast<std::uint8_t>(width);
  return out;
}

}  // namespace qv
