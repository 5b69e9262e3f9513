// Picture plug-in for the netpbm formats: PBM, PGM and PPM (plain and raw) and PAM.
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "spi.h"
#include "spi_plugin_exports.h"
#include "spi_plugin_support.h"

namespace {

using spi_plugin::TDib;

const spi_plugin::TPluginTexts kTexts = {"Netpbm plug-in for Quenvale 1.0",
                                         "*.pbm;*.pgm;*.ppm;*.pnm;*.pam", "Netpbm image"};

bool IsSpace(std::uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// Reads through the file bytes; every read past the end fails softly.
class TReader {
 public:
  TReader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return position_ >= size_; }
  std::size_t Remaining() const { return size_ - position_; }
  const std::uint8_t *Here() const { return data_ + position_; }
  void Skip(std::size_t count) { position_ += count < Remaining() ? count : Remaining(); }
  int Peek() const { return AtEnd() ? -1 : data_[position_]; }
  int Next() { return AtEnd() ? -1 : data_[position_++]; }

  // Skips white space and "#" comments (to the end of their line).
  void SkipSpaceAndComments() {
    while (!AtEnd()) {
      if (data_[position_] == '#') {
        while (!AtEnd() && data_[position_] != '\n' && data_[position_] != '\r') ++position_;
      } else if (IsSpace(data_[position_])) {
        ++position_;
      } else {
        break;
      }
    }
  }
  // A decimal number after white space and comments; false when there is none or it passes
  // the limit.
  bool Number(std::uint32_t limit, std::uint32_t &value) {
    SkipSpaceAndComments();
    if (AtEnd() || !IsDigit(data_[position_])) return false;
    std::uint64_t v = 0;
    while (!AtEnd() && IsDigit(data_[position_])) {
      v = v * 10 + (data_[position_++] - '0');
      if (v > limit) return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
  }
  // A word of a PAM header line: letters, digits and "_" after blanks (not line ends).
  std::string Word() {
    while (!AtEnd() && (data_[position_] == ' ' || data_[position_] == '\t')) ++position_;
    std::string word;
    while (!AtEnd() && !IsSpace(data_[position_]) && word.size() < 64)
      word += static_cast<char>(data_[position_++]);
    return word;
  }
  void SkipLine() {
    while (!AtEnd() && data_[position_] != '\n') ++position_;
    if (!AtEnd()) ++position_;
  }

 private:
  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

struct THeader {
  int kind = 0;  // the digit after "P"
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t depth = 1;  // samples per pixel
  std::uint32_t maxval = 1;
  bool alpha = false;
};

constexpr std::uint32_t kMaxDimension = 0x7FFFFFFF;

bool ReadPamHeader(TReader &reader, THeader &header) {
  bool width = false, height = false, depth = false, maxval = false;
  std::string tuple_type;
  reader.SkipLine();
  for (;;) {
    if (reader.AtEnd()) return false;
    if (reader.Peek() == '#' || IsSpace(static_cast<std::uint8_t>(reader.Peek()))) {
      if (reader.Peek() == '#')
        reader.SkipLine();
      else
        reader.Next();
      continue;
    }
    std::string key = reader.Word();
    if (key == "ENDHDR") {
      reader.SkipLine();
      break;
    }
    if (key == "TUPLTYPE") {
      std::string word = reader.Word();
      if (!tuple_type.empty()) tuple_type += ' ';
      tuple_type += word;
      reader.SkipLine();
      continue;
    }
    std::uint32_t *target = key == "WIDTH"    ? (width = true, &header.width)
                            : key == "HEIGHT" ? (height = true, &header.height)
                            : key == "DEPTH"  ? (depth = true, &header.depth)
                            : key == "MAXVAL" ? (maxval = true, &header.maxval)
                                              : nullptr;
    if (target == nullptr) return false;
    if (!reader.Number(kMaxDimension, *target)) return false;
    reader.SkipLine();
  }
  if (!width || !height || !depth || !maxval) return false;
  if (header.depth < 1 || header.depth > 4) return false;
  header.alpha = header.depth == 2 || header.depth == 4;
  return true;
}

bool ReadHeader(TReader &reader, THeader &header) {
  if (reader.Next() != 'P') return false;
  int kind = reader.Next() - '0';
  if (kind < 1 || kind > 7) return false;
  header.kind = kind;
  if (kind == 7) return ReadPamHeader(reader, header);
  if (!reader.Number(kMaxDimension, header.width) || !reader.Number(kMaxDimension, header.height))
    return false;
  header.depth = (kind == 3 || kind == 6) ? 3 : 1;
  if (kind != 1 && kind != 4 && !reader.Number(65535, header.maxval)) return false;
  // Raw rasters start after exactly one white-space byte; plain ones after any.
  if (kind >= 4) {
    if (reader.AtEnd() || !IsSpace(static_cast<std::uint8_t>(reader.Peek()))) return false;
    reader.Next();
  }
  return true;
}

// Reads one sample; false at the end of the data or on a malformed plain value.
class TSampleSource {
 public:
  TSampleSource(TReader &reader, const THeader &header) : reader_(reader), header_(header) {}
  bool Next(std::uint32_t &value) {
    if (header_.kind <= 3) {
      if (header_.kind == 1) {
        reader_.SkipSpaceAndComments();
        int c = reader_.Next();
        if (c != '0' && c != '1') return false;
        value = static_cast<std::uint32_t>(c - '0');
        return true;
      }
      if (!reader_.Number(0xFFFFFFFFu, value)) return false;
    } else if (header_.maxval > 255) {
      if (reader_.Remaining() < 2) return false;
      value = static_cast<std::uint32_t>(reader_.Here()[0] << 8 | reader_.Here()[1]);
      reader_.Skip(2);
    } else {
      if (reader_.AtEnd()) return false;
      value = static_cast<std::uint32_t>(reader_.Next());
    }
    if (value > header_.maxval) value = header_.maxval;  // out-of-range samples saturate
    return true;
  }

 private:
  TReader &reader_;
  const THeader &header_;
};

std::uint8_t Scale(std::uint32_t value, std::uint32_t maxval) {
  return static_cast<std::uint8_t>((std::uint64_t{value} * 255 + maxval / 2) / maxval);
}

std::int32_t DecodeRawBitmap(TReader &reader, const THeader &header, TDib &dib) {
  std::size_t row_bytes = (header.width + 7) / 8;
  for (std::uint32_t y = 0; y < header.height; ++y) {
    if (reader.Remaining() < row_bytes) return SPI_BROKEN_DATA;
    std::memcpy(dib.Row(y), reader.Here(), row_bytes);
    reader.Skip(row_bytes);
  }
  return SPI_SUCCESS;
}

std::int32_t DecodeSamples(TReader &reader, const THeader &header, TDib &dib) {
  TSampleSource source(reader, header);
  std::uint32_t samples[4];
  for (std::uint32_t y = 0; y < header.height; ++y) {
    std::uint8_t *row = dib.Row(y);
    for (std::uint32_t x = 0; x < header.width; ++x) {
      for (std::uint32_t s = 0; s < header.depth; ++s)
        if (!source.Next(samples[s])) return SPI_BROKEN_DATA;
      if (header.kind == 1) {
        if (samples[0]) row[x >> 3] = static_cast<std::uint8_t>(row[x >> 3] | (0x80 >> (x & 7)));
        continue;
      }
      std::uint32_t alpha = header.alpha ? Scale(samples[header.depth - 1], header.maxval) : 255;
      if (header.depth <= 2) {
        row[x] = spi_plugin::OverWhite(Scale(samples[0], header.maxval), alpha);
      } else {
        row[3 * x] = spi_plugin::OverWhite(Scale(samples[2], header.maxval), alpha);
        row[3 * x + 1] = spi_plugin::OverWhite(Scale(samples[1], header.maxval), alpha);
        row[3 * x + 2] = spi_plugin::OverWhite(Scale(samples[0], header.maxval), alpha);
      }
    }
  }
  return SPI_SUCCESS;
}

std::int32_t Decode(const std::uint8_t *data, std::size_t size, HLOCAL *info, HLOCAL *pixels) {
  TReader reader(data, size);
  THeader header;
  if (!ReadHeader(reader, header)) return SPI_UNKNOWN_FORMAT;
  if (header.width == 0 || header.height == 0 || header.maxval == 0) return SPI_BROKEN_DATA;
  bool bitmap = header.kind == 1 || header.kind == 4;
  TDib dib;
  std::int32_t result = dib.Create(header.width, header.height,
                                   bitmap              ? 1
                                   : header.depth <= 2 ? 8
                                                       : 24,
                                   bitmap              ? 2
                                   : header.depth <= 2 ? 256
                                                       : 0);
  if (result != SPI_SUCCESS) return result;
  if (bitmap) {
    dib.SetColor(0, 255, 255, 255);  // a PBM 1 bit is black
    dib.SetColor(1, 0, 0, 0);
  } else if (header.depth <= 2) {
    for (unsigned i = 0; i < 256; ++i) {
      auto v = static_cast<std::uint8_t>(i);
      dib.SetColor(i, v, v, v);
    }
  }
  result =
      header.kind == 4 ? DecodeRawBitmap(reader, header, dib) : DecodeSamples(reader, header, dib);
  if (result != SPI_SUCCESS) return result;
  return dib.Deliver(info, pixels);
}

// The header's size, and the depth GetPicture gives: 1 bit for a bitmap, 8 for grey, else 24.
std::int32_t Info(const std::uint8_t *data, std::size_t size, std::uint32_t &width,
                  std::uint32_t &height, int &bits) {
  TReader reader(data, size);
  THeader header;
  if (!ReadHeader(reader, header)) return SPI_UNKNOWN_FORMAT;
  width = header.width;
  height = header.height;
  bits = header.kind == 1 || header.kind == 4 ? 1 : header.depth <= 2 ? 8 : 24;
  return SPI_SUCCESS;
}

// "P1" to "P7" and white space, then (after comments) the first header value: a digit for P1
// to P6, a header word for PAM (which keeps out "P7 332" thumbnails).
bool IsNetpbm(const std::uint8_t *head) {
  TReader reader(head, SPI_HEADER_BYTES);
  if (reader.Next() != 'P') return false;
  int kind = reader.Next() - '0';
  if (kind < 1 || kind > 7 || !IsSpace(static_cast<std::uint8_t>(reader.Peek()))) return false;
  reader.SkipSpaceAndComments();
  int c = reader.Peek();
  if (kind == 7) return c >= 'A' && c <= 'Z';
  return c >= 0 && IsDigit(static_cast<std::uint8_t>(c));
}

}  // namespace

// The exported functions spi.h asks for.
extern "C" {

SPI_PICTURE_PLUGIN_EXPORTS(kTexts, IsNetpbm, Info, Decode)

}  // extern "C"
