// Writing PNG image data: row conversion, filter choice, Adam7 and deflate into IDAT chunks; and
// the chunk set made from a Raster image.
#include "codecs/png/png_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/png/png_chunks.h"
#include "codecs/png/png_crc.h"
#include "codecs/png/png_filters.h"
#include "codecs/png/png_object.h"
#include "codecs/png/png_shared.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "runtime/translation.h"

namespace qv {

namespace {

// Reads index x of an internal row of 1, 4 or 8 bits per pixel.
inline int GetIndex(const std::uint8_t* row, int x, int bits) {
  switch (bits) {
    case 8: return row[x];
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    default: return 0;
  }
}

// Converts count pixels of internal row y, columns x0, x0 + dx, ..., into PNG byte order.
void ConvertRow(const TChunkIHDR& header, int depth, const std::array<std::uint8_t, 256>& inverse,
                int y, int x0, int dx, int count, std::uint8_t* out, std::size_t out_size) {
  const TPngInternalImage& image = header.image;
  const std::uint8_t* row = image.RowFromTop(y);
  const int type = header.colour_type;
  if (type == 0 || type == 3) {
    if (depth == 16) {
      for (int i = 0; i < count; ++i) {
        out[2 * i] = static_cast<std::uint8_t>(GetIndex(row, x0 + i * dx, image.bits));
        out[2 * i + 1] = 0;
      }
    } else if (dx == 1) {
      std::memcpy(out, row, out_size);
    } else {
      std::memset(out, 0, out_size);
      for (int i = 0; i < count; ++i) {
        std::size_t bit = static_cast<std::size_t>(i) * static_cast<std::size_t>(depth);
        int shift = 8 - depth - static_cast<int>(bit & 7);
        out[bit >> 3] = static_cast<std::uint8_t>(
            out[bit >> 3] | (GetIndex(row, x0 + i * dx, image.bits) << shift));
      }
    }
    return;
  }
  const bool wide = depth == 16;
  std::uint8_t* q = out;
  auto put = [&](std::uint8_t value) {
    *q++ = value;
    if (wide) *q++ = 0;
  };
  for (int i = 0; i < count; ++i) {
    int x = x0 + i * dx;
    if (type == 4) {
      put(row[x]);
      put(image.AlphaRow(y)[x]);
    } else {
      const std::uint8_t* p = row + static_cast<std::size_t>(x) * 3;
      put(inverse[p[2]]);
      put(inverse[p[1]]);
      put(inverse[p[0]]);
      if (type == 6) put(image.AlphaRow(y)[x]);
    }
  }
}

// Deflate into IDAT chunks of at most the buffer's size. The destructor ends the stream.
class TIdatOutput {
 public:
  TIdatOutput(TStream& stream, int level, std::size_t buffer_size)
      : stream_(stream), buffer_(buffer_size) {
    int result = deflateInit(&z_, level);
    if (result == Z_MEM_ERROR) throw EOutOfMemory();
    if (result != Z_OK) throw EInvalidGraphicOperation(Tr("zlib deflateInit failed"));
    Reset();
  }
  ~TIdatOutput() { deflateEnd(&z_); }
  TIdatOutput(const TIdatOutput&) = delete;
  TIdatOutput& operator=(const TIdatOutput&) = delete;

  void Feed(const std::uint8_t* data, std::size_t size) {
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = static_cast<uInt>(size);
    while (z_.avail_in > 0) {
      deflate(&z_, Z_NO_FLUSH);
      if (z_.avail_out == 0) WriteChunk(buffer_.size());
    }
  }

  void Finish() {
    for (;;) {
      int result = deflate(&z_, Z_FINISH);
      if (z_.avail_out == 0) WriteChunk(buffer_.size());
      if (result == Z_STREAM_END || result == Z_STREAM_ERROR) break;
    }
    std::size_t filled = buffer_.size() - z_.avail_out;
    if (filled > 0) WriteChunk(filled);
  }

 private:
  void Reset() {
    z_.next_out = buffer_.data();
    z_.avail_out = static_cast<uInt>(buffer_.size());
  }
  void WriteChunk(std::size_t size) {
    std::uint8_t head[8];
    WriteBigEndian32(head, static_cast<std::uint32_t>(size));
    std::memcpy(head + 4, "IDAT", 4);
    stream_.WriteBuffer(head, 8);
    stream_.WriteBuffer(buffer_.data(), size);
    std::uint8_t crc[4];
    WriteBigEndian32(crc, PngChunkCrc("IDAT", buffer_.data(), size));
    stream_.WriteBuffer(crc, 4);
    Reset();
  }

  TStream& stream_;
  z_stream z_{};
  std::vector<std::uint8_t> buffer_;
};

// Filters one converted row with the filter the set chooses; returns the type and output row.
struct TFilteredRow {
  std::uint8_t type;
  const std::uint8_t* bytes;
};

TFilteredRow ChooseFilter(std::uint8_t set, TPngFilterChoice choice, const std::uint8_t* row,
                          const std::uint8_t* previous, std::vector<std::uint8_t> (&outputs)[5],
                          std::size_t size, std::size_t pixel_bytes) {
  if (set == 0 || set == kPngFilterSetNone) return {kFilterNone, row};
  const bool single = std::popcount(static_cast<unsigned>(set)) == 1;
  TFilteredRow kept{kFilterNone, row};
  std::size_t kept_score = 0;
  std::size_t kept_sum = SIZE_MAX;
  for (int type = 0; type <= 4; ++type) {
    if (!(set & (1 << type))) continue;
    const std::uint8_t* out = row;
    if (type != kFilterNone) {
      FilterRow(static_cast<TPngFilterType>(type), row, previous, outputs[type].data(), size,
                pixel_bytes);
      out = outputs[type].data();
    }
    if (single) return {static_cast<std::uint8_t>(type), out};
    if (choice == TPngFilterChoice::kSmallestSum) {
      // The smallest sum wins; the first of equal sums is kept.
      std::size_t sum = SumOfAbsoluteValues(out, size);
      if (sum < kept_sum) {
        kept = {static_cast<std::uint8_t>(type), out};
        kept_sum = sum;
      }
      continue;
    }
    std::size_t score = ScoreFilteredRow(out, size);
    if (score > kept_score) {
      kept = {static_cast<std::uint8_t>(type), out};
      kept_score = score;
    }
  }
  return kept;
}

}  // namespace

void EncodeImageData(const TPNGObject& object, const TChunkIHDR& header, TStream& stream) {
  const int depth = header.bit_depth == 2 ? 4 : header.bit_depth;  // the image holds 4 bits
  const int type = header.colour_type;
  const int width = static_cast<int>(header.width);
  const int height = static_cast<int>(header.height);
  const std::size_t pixel_bytes = PngPixelBytes(type, depth);
  const std::size_t full_row = PngRowBytes(type, depth, static_cast<std::uint64_t>(width));
  const std::uint8_t set = object.Filters();

  std::vector<std::uint8_t> current(full_row);
  std::vector<std::uint8_t> previous(full_row);
  std::vector<std::uint8_t> outputs[5];
  for (int t = 1; t <= 4; ++t)
    if (set & (1 << t)) outputs[t].resize(full_row);

  TIdatOutput output(stream, object.CompressionLevel(), object.MaxIdatSize());
  auto emit_row = [&](int y, int x0, int dx, int count, std::size_t size) {
    ConvertRow(header, depth, object.InverseGammaTable(), y, x0, dx, count, current.data(), size);
    TFilteredRow filtered = ChooseFilter(set, object.FilterChoice(), current.data(),
                                         previous.data(), outputs, size, pixel_bytes);
    output.Feed(&filtered.type, 1);
    output.Feed(filtered.bytes, size);
    std::swap(current, previous);
  };

  if (object.InterlaceMethod() != 1) {
    for (int y = 0; y < height; ++y) emit_row(y, 0, 1, width, full_row);
  } else {
    for (const TAdam7Pass& pass : kAdam7Passes) {
      int pass_width = PassExtent(width, pass.column_start, pass.column_step);
      int pass_height = PassExtent(height, pass.row_start, pass.row_step);
      std::size_t size = PngRowBytes(type, depth, static_cast<std::uint64_t>(pass_width));
      if (size == 0 || pass_height == 0) continue;
      std::fill(previous.begin(), previous.end(), 0);
      for (int r = 0; r < pass_height; ++r)
        emit_row(pass.row_start + r * pass.row_step, pass.column_start, pass.column_step,
                 pass_width, size);
    }
  }
  output.Finish();
}

void BuildChunksFromBitmap(TPNGObject& object, const TBitmap& image,
                           const TRGBQuad* transparent_color) {
  object.Clear();
  if (image.Empty() || image.Width() <= 0 || image.Height() <= 0) return;
  TBitmap source(image);  // shares the pixels; converted only when not 1, 4, 8 or 24 bits
  int bits = source.BitsPerPixel();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
    source.SetPixelFormat(TPixelFormat::pf24bit);
    bits = 24;
  }
  const bool indexed = bits < 16;

  auto header_owner = std::make_unique<TChunkIHDR>(object);
  TChunkIHDR& header = *header_owner;
  header.width = static_cast<std::uint32_t>(source.Width());
  header.height = static_cast<std::uint32_t>(std::abs(source.Height()));
  header.bit_depth = static_cast<std::uint8_t>(indexed ? bits : 8);
  header.colour_type = indexed ? 3 : 2;
  header.PrepareImage();
  object.Chunks().Add(std::move(header_owner));

  TPngInternalImage& internal = header.image;
  const TBitmap& view = source;
  std::size_t row = std::min(view.RowSize(), internal.row_size);
  for (int y = 0; y < internal.height; ++y)
    std::memcpy(internal.RowFromTop(y), view.ScanLine(y), row);

  if (indexed) {
    const auto& palette = view.Palette();
    std::size_t entries = std::min<std::size_t>(palette.size(), 256);
    std::copy(palette.begin(), palette.begin() + static_cast<std::ptrdiff_t>(entries),
              internal.colors.begin());
    for (auto& c : internal.colors) c.reserved = 0;
    auto plte = std::make_unique<TChunkPLTE>(object);
    plte->count = 1 << bits;
    object.Chunks().Add(std::move(plte));
  }

  if (transparent_color != nullptr) {
    auto trns = std::make_unique<TChunktRNS>(object);
    bool keep = true;
    if (!indexed) {
      const std::uint8_t values[6] = {0, transparent_color->red, 0, transparent_color->green,
                                      0, transparent_color->blue};
      trns->Data().assign(values, values + 6);
      std::copy(values, values + 6, trns->table.begin());
      trns->bit_transparency = true;
    } else {
      // The first palette entry of that colour is transparent, the ones before it opaque. A
      // colour not in the palette leaves every entry opaque: no tRNS chunk is written.
      int entries = 1 << bits, found = -1;
      for (int i = 0; i < entries && found < 0; ++i) {
        const TRGBQuad& c = internal.colors[i];
        if (c.red == transparent_color->red && c.green == transparent_color->green &&
            c.blue == transparent_color->blue)
          found = i;
      }
      keep = found >= 0;
      if (keep) {
        trns->Data().assign(static_cast<std::size_t>(found) + 1, 255);
        trns->Data()[found] = 0;
        std::copy(trns->Data().begin(), trns->Data().end(), trns->table.begin());
        trns->bit_transparency = true;
      }
    }
    if (keep) object.Chunks().Add(std::move(trns));
  }

  object.Chunks().Add(std::make_unique<TChunkIDAT>(object));
  object.Chunks().Add(std::make_unique<TChunkIEND>(object));
}

}  // namespace qv
