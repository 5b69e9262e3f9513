// Loading and saving of the PNG chunk classes, and the chunk-class registry.
#include "codecs/png/png_chunks.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <typeinfo>
#include <utility>

#include "codecs/png/png_crc.h"
#include "codecs/png/png_decoder.h"
#include "codecs/png/png_encoder.h"
#include "codecs/png/png_exceptions.h"
#include "codecs/png/png_object.h"
#include "codecs/png/png_shared.h"
#include "runtime/stream.h"

namespace qv {

TChunk::TChunk(TPNGObject& owner, const char type[4]) : owner_(&owner) {
  std::memcpy(type_.data(), type, 4);
  type_[4] = 0;
}

void TChunk::Assign(const TChunk& source) {
  type_ = source.type_;
  data_ = source.data_;
}

std::unique_ptr<TChunk> TChunk::Clone(TPNGObject& owner) const { return CloneAs<TChunk>(owner); }

void TChunk::LoadFromStream(TStream& stream, std::uint32_t length) {
  // The data grows with the bytes that actually arrive, so a chunk that claims gigabytes in a
  // short file costs no more memory than the file holds.
  constexpr std::size_t kStep = std::size_t{1} << 20;
  data_.clear();
  std::size_t wanted = length;
  bool complete = true;
  while (data_.size() < wanted) {
    std::size_t old_size = data_.size();
    std::size_t step = std::min(kStep, wanted - old_size);
    data_.resize(old_size + step);
    std::size_t got = stream.ReadUpTo(data_.data() + old_size, step);
    if (got < step) {
      data_.resize(old_size + got);
      complete = false;
      break;
    }
  }
  std::uint8_t crc_bytes[4];
  if (!complete || stream.ReadUpTo(crc_bytes, 4) < 4 ||
      ReadBigEndian32(crc_bytes) != PngChunkCrc(type_.data(), data_.data(), data_.size()))
    throw EPngInvalidCRC();
}

void TChunk::SaveToStream(TStream& stream) {
  std::uint8_t head[8];
  WriteBigEndian32(head, static_cast<std::uint32_t>(data_.size()));
  std::memcpy(head + 4, type_.data(), 4);
  stream.WriteBuffer(head, 8);
  if (!data_.empty()) stream.WriteBuffer(data_.data(), data_.size());
  std::uint8_t crc[4];
  WriteBigEndian32(crc, PngChunkCrc(type_.data(), data_.data(), data_.size()));
  stream.WriteBuffer(crc, 4);
}

TChunkIHDR& TChunk::Header() const { return owner_->Header(); }

// ---- IHDR

void TChunkIHDR::LoadFromStream(TStream& stream, std::uint32_t length) {
  TChunk::LoadFromStream(stream, length);
  if (data_.size() < 13) throw EPngInvalidIHDR();
  width = ReadBigEndian32(data_.data());
  height = ReadBigEndian32(data_.data() + 4);
  bit_depth = data_[8];
  colour_type = data_[9];
  compression_method = data_[10];
  filter_method = data_[11];
  interlace_method = data_[12];
  if (width > 65535 || height > 65535) throw EPNGSizeExceeds();
  if (compression_method != 0) throw EPNGUnknownCompression();
  if (interlace_method > 1) throw EPNGUnknownInterlace();
  // A zero size or a colour type and depth the standard forbids has no internal image.
  if (width == 0 || height == 0 || InternalBitsFor(colour_type, bit_depth) == 0)
    throw EPngInvalidIHDR();
  Owner().SetInterlaceMethod(interlace_method);
  // Rows that may go on as they are made need no picture; should they not go on after all, the
  // image data grows the image to its full size (TChunkIDAT).
  PrepareImage(Owner().OnRows && interlace_method == 0);
}

void TChunkIHDR::PrepareImage(bool hold_one_row) {
  int bits = InternalBitsFor(colour_type, bit_depth);
  if (bits == 0) throw EPngInvalidIHDR();
  image.Build(static_cast<int>(width), static_cast<int>(height), bits,
              colour_type == 4 || colour_type == 6, hold_one_row);
}

void TChunkIHDR::SaveToStream(TStream& stream) {
  data_.assign(13, 0);
  WriteBigEndian32(data_.data(), width);
  WriteBigEndian32(data_.data() + 4, height);
  data_[8] = bit_depth == 2 ? 4 : bit_depth;
  data_[9] = colour_type;
  data_[10] = compression_method;
  data_[11] = filter_method;
  data_[12] = static_cast<std::uint8_t>(Owner().InterlaceMethod());
  TChunk::SaveToStream(stream);
}

// ---- PLTE

void TChunkPLTE::LoadFromStream(TStream& stream, std::uint32_t length) {
  TChunk::LoadFromStream(stream, length);
  if (data_.size() % 3 != 0 || data_.size() > 768) throw EPNGInvalidPalette();
  const auto& gamma = Owner().GammaTable();
  auto& colors = Header().image.colors;
  count = static_cast<int>(data_.size() / 3);
  for (int i = 0; i < count; ++i) {
    colors[i].red = gamma[data_[3 * i]];
    colors[i].green = gamma[data_[3 * i + 1]];
    colors[i].blue = gamma[data_[3 * i + 2]];
    colors[i].reserved = 0;
  }
}

void TChunkPLTE::SaveToStream(TStream& stream) {
  const auto& inverse = Owner().InverseGammaTable();
  const auto& colors = Header().image.colors;
  int n = std::clamp(count, 0, 256);
  data_.resize(static_cast<std::size_t>(n) * 3);
  for (int i = 0; i < n; ++i) {
    data_[3 * i] = inverse[colors[i].red];
    data_[3 * i + 1] = inverse[colors[i].green];
    data_[3 * i + 2] = inverse[colors[i].blue];
  }
  TChunk::SaveToStream(stream);
}

// ---- tRNS

void TChunktRNS::LoadFromStream(TStream& stream, std::uint32_t length) {
  TChunk::LoadFromStream(stream, length);
  if (data_.size() > 256) throw EPNGInvalidPalette();
  table.fill(255);
  std::copy(data_.begin(), data_.end(), table.begin());
  int colour_type = Header().colour_type;
  if (colour_type == 0 || colour_type == 2) {
    bit_transparency = true;
  } else if (colour_type == 3) {
    bit_transparency =
        std::count_if(data_.begin(), data_.end(), [](std::uint8_t v) { return v != 255; }) == 1;
  } else {
    bit_transparency = false;
  }
}

void TChunktRNS::SaveToStream(TStream& stream) {
  std::copy(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(data_.size()),
            data_.begin());
  TChunk::SaveToStream(stream);
}

// ---- gAMA

void TChunkgAMA::LoadFromStream(TStream& stream, std::uint32_t length) {
  TChunk::LoadFromStream(stream, length);
  if (data_.size() != 4) return;  // a malformed gAMA leaves the tables as they are
  gamma = ReadBigEndian32(data_.data());
  if (gamma == 0) return;
  auto& decoding = Owner().GammaTable();
  auto& encoding = Owner().InverseGammaTable();
  double exponent = 1.0 / (static_cast<double>(gamma) / 100000.0 * 2.2);
  for (int i = 0; i < 256; ++i) {
    double value = i == 0 ? 0.0 : 255.0 * std::pow(i / 255.0, exponent);
    value = std::clamp(std::nearbyint(value), 0.0, 255.0);  // halves to even
    decoding[i] = static_cast<std::uint8_t>(value);
  }
  for (int i = 0; i < 256; ++i) encoding[decoding[i]] = static_cast<std::uint8_t>(i);
}

// ---- IDAT

void TChunkIDAT::LoadFromStream(TStream& stream, std::uint32_t length) {
  TChunkIHDR& header = Header();
  TPngRowSink sink;
  if (header.image.one_row) {
    // Asked here, with the palette and the profile's answer known.
    if (Owner().OnRows) sink = Owner().OnRows(header);
    if (!sink) header.image.HoldAllRows();
  }
  DecodeImageData(header, Owner().GammaTable(), stream, length, Owner().DeepRowConverter(), sink);
}

void TChunkIDAT::SaveToStream(TStream& stream) { EncodeImageData(Owner(), Header(), stream); }

// ---- tIME

void TChunktIME::LoadFromStream(TStream& stream, std::uint32_t length) {
  TChunk::LoadFromStream(stream, length);
  if (data_.size() != 7) return;
  year = (data_[0] << 8) | data_[1];
  month = data_[2];
  day = data_[3];
  hour = data_[4];
  minute = data_[5];
  second = data_[6];
}

// ---- tEXt and zTXt

void TChunktEXt::LoadFromStream(TStream& stream, std::uint32_t length) {
  TChunk::LoadFromStream(stream, length);
  keyword.clear();
  text.clear();
  if (data_.size() <= 2) return;
  auto zero = std::find(data_.begin(), data_.end(), std::uint8_t{0});
  keyword.assign(data_.begin(), zero);
  if (zero != data_.end()) text.assign(zero + 1, data_.end());
}

namespace {

// Inflates input into out, at most limit bytes; false on any failure or a longer result.
template <typename Bytes>
bool Inflate(const std::uint8_t* input, std::size_t size, std::size_t limit, Bytes& result) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  struct Ender {
    z_stream* z;
    ~Ender() { inflateEnd(z); }
  } ender{&z};
  z.next_in = const_cast<Bytef*>(input);
  z.avail_in = static_cast<uInt>(size);
  Bytes out;
  constexpr std::size_t kStep = 64 * 1024;
  for (;;) {
    std::size_t old_size = out.size();
    if (old_size >= limit) return false;
    std::size_t step = std::min(kStep, limit - old_size);
    out.resize(old_size + step);
    z.next_out = reinterpret_cast<Bytef*>(out.data() + old_size);
    z.avail_out = static_cast<uInt>(step);
    const int status = inflate(&z, Z_NO_FLUSH);
    out.resize(old_size + step - z.avail_out);
    if (status == Z_STREAM_END) break;
    if (status != Z_OK) return false;  // errors, need dictionary, or input ended early
  }
  result = std::move(out);
  return true;
}

}  // namespace

void TChunkzTXt::LoadFromStream(TStream& stream, std::uint32_t length) {
  TChunk::LoadFromStream(stream, length);
  keyword.clear();
  text.clear();
  if (data_.size() <= 3) return;
  auto zero = std::find(data_.begin(), data_.end(), std::uint8_t{0});
  keyword.assign(data_.begin(), zero);
  std::size_t start = static_cast<std::size_t>(zero - data_.begin()) + 2;  // zero, method byte
  if (start >= data_.size()) return;
  std::string inflated;
  if (Inflate(data_.data() + start, data_.size() - start, kMaxPngTextBytes, inflated))
    text = std::move(inflated);
}

std::vector<std::uint8_t> IccpProfile(const std::vector<std::uint8_t>& data) {
  auto zero = std::find(data.begin(), data.end(), std::uint8_t{0});
  const std::size_t start = static_cast<std::size_t>(zero - data.begin()) + 2;  // zero, method
  std::vector<std::uint8_t> profile;
  if (start > data.size() || data[start - 1] != 0 ||
      !Inflate(data.data() + start, data.size() - start, kMaxIccpBytes, profile))
    profile.clear();
  return profile;
}

// ---- registry

namespace {

struct TRegistryEntry {
  char type[4];
  TChunkFactory factory;
};

template <class T>
std::unique_ptr<TChunk> Make(TPNGObject& owner) {
  return std::make_unique<T>(owner);
}

std::vector<TRegistryEntry>& Registry() {
  static std::vector<TRegistryEntry> registry = {
      {{'I', 'E', 'N', 'D'}, &Make<TChunkIEND>}, {{'I', 'H', 'D', 'R'}, &Make<TChunkIHDR>},
      {{'I', 'D', 'A', 'T'}, &Make<TChunkIDAT>}, {{'P', 'L', 'T', 'E'}, &Make<TChunkPLTE>},
      {{'g', 'A', 'M', 'A'}, &Make<TChunkgAMA>}, {{'t', 'R', 'N', 'S'}, &Make<TChunktRNS>},
      {{'t', 'I', 'M', 'E'}, &Make<TChunktIME>}, {{'t', 'E', 'X', 't'}, &Make<TChunktEXt>},
      {{'z', 'T', 'X', 't'}, &Make<TChunkzTXt>}};
  return registry;
}

}  // namespace

void RegisterChunkClass(const char type[4], TChunkFactory factory) {
  auto& registry = Registry();
  for (auto& entry : registry) {
    if (std::memcmp(entry.type, type, 4) == 0) {
      entry.factory = factory;
      return;
    }
  }
  TRegistryEntry entry{};
  std::memcpy(entry.type, type, 4);
  entry.factory = factory;
  registry.push_back(entry);
}

std::unique_ptr<TChunk> CreateChunk(TPNGObject& owner, const char type[4]) {
  for (const auto& entry : Registry())
    if (std::memcmp(entry.type, type, 4) == 0) return entry.factory(owner);
  return std::make_unique<TChunk>(owner, type);
}

}  // namespace qv
