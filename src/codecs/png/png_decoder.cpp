// Reading PNG image data: IDAT chunk sequence with per-chunk CRCs, inflate, unfiltering, Adam7 and
// the row conversion into the internal image.
#include "codecs/png/png_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <vector>

#include "codecs/png/png_chunks.h"
#include "codecs/png/png_crc.h"
#include "codecs/png/png_exceptions.h"
#include "codecs/png/png_filters.h"
#include "codecs/png/png_shared.h"
#include "codecs/png/png_swap_red_blue.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "simd/adler32.h"

namespace qv {

namespace {

// The stream is read ahead in blocks of this size, across chunk boundaries (IDAT chunks are
// often 8 KiB: three small reads per chunk otherwise); what is left over is given back by seeking.
constexpr std::size_t kReadAheadSize = std::size_t{256} << 10;
// Filtered rows are inflated many at a time into one buffer of about this size: fewer inflate
// calls, and zlib copies at most its 32 KiB window per call instead of every byte it produced.
constexpr std::size_t kRowBatchBytes = std::size_t{1} << 20;

// The inflate side of the reader: hands out decompressed bytes, crossing IDAT chunk boundaries
// and checking each chunk's CRC on the way. zlib calls no code of ours, so throwing between its
// calls is safe; the destructor ends the stream. The stream is left right after the bytes used,
// as if they had been read one chunk part at a time.
//
// zlib inflates the deflate data only (raw mode); the reader takes the zlib stream's two header
// bytes and its Adler-32 trailer itself and checks the output with Adler32, whose vector code
// is several times faster than zlib's. It consumes, produces and fails exactly where zlib's own
// handling of the stream would: zlib's window is 32 KiB whatever the header says, as here.
class TIdatInput {
 public:
  TIdatInput(TStream& stream, std::uint32_t first_length)
      : stream_(stream), ahead_(kReadAheadSize), remaining_(first_length) {
    crc_ = UpdatePngCrc(0xFFFFFFFFu, "IDAT", 4);
    int result = inflateInit2(&z_, -MAX_WBITS);
    if (result != Z_OK) throw EPNGZLIBError(result);
  }
  ~TIdatInput() {
    inflateEnd(&z_);
    // After a failure the position matters little, but it still should not jump ahead.
    try {
      GiveBack();
    } catch (...) {
    }
  }
  TIdatInput(const TIdatInput&) = delete;
  TIdatInput& operator=(const TIdatInput&) = delete;

  // Fills out with up to count bytes; returns how many were produced (fewer when the data ends).
  // After an exception, Produced() tells how many bytes the call had produced before it.
  std::size_t Read(std::uint8_t* out, std::size_t count) {
    requested_ = count;
    z_.next_out = out;
    z_.avail_out = static_cast<uInt>(count);
    while (z_.avail_out > 0) {
      if (z_.avail_in == 0 && remaining_ == 0) NextChunk();
      if (z_.avail_in == 0) {
        if (position_ == end_ && !Refill()) break;  // the file ends inside the chunk
        std::size_t got = std::min<std::size_t>(end_ - position_, remaining_);
        std::uint8_t* data = ahead_.data() + position_;
        crc_ = UpdatePngCrc(crc_, data, got);
        remaining_ -= static_cast<std::uint32_t>(got);
        position_ += got;
        z_.next_in = data;
        z_.avail_in = static_cast<uInt>(got);
      }
      // A complete stream gives no more bytes: stop rather than feed it again.
      if (ended_) break;
      int result = Inflate();
      if (result == Z_STREAM_END) {
        ended_ = true;
      } else if (result != Z_OK) {
        // Negative codes and "need dictionary" (a preset dictionary we cannot supply).
        throw EPNGZLIBError(result);
      }
    }
    return count - z_.avail_out;
  }
  std::size_t Produced() const { return requested_ - z_.avail_out; }

  // Reads the rest of the current chunk's data and checks its CRC.
  void Finish() {
    while (remaining_ > 0) {
      if (position_ == end_ && !Refill()) break;
      std::size_t got = std::min<std::size_t>(end_ - position_, remaining_);
      crc_ = UpdatePngCrc(crc_, ahead_.data() + position_, got);
      remaining_ -= static_cast<std::uint32_t>(got);
      position_ += got;
    }
    CheckCrc();
    GiveBack();
  }

 private:
  // Reads the next block; false at the end of the stream.
  bool Refill() {
    position_ = 0;
    end_ = stream_.ReadUpTo(ahead_.data(), ahead_.size());
    return end_ > 0;
  }

  // One step of inflating the zlib stream (RFC 1950) with the input and output set in z_, as
  // zlib's inflate(Z_NO_FLUSH) of the whole stream would take it: Z_OK when the input is used up
  // or the output full, Z_STREAM_END after a matching check, Z_NEED_DICT once a preset
  // dictionary's identifier is read, Z_DATA_ERROR for a wrong header, deflate data or check.
  int Inflate() {
    if (part_ == TStreamPart::kHeader) {
      if (!TakeWrapperBytes()) return Z_OK;
      if (wrapper_needed_ == 2) {
        const unsigned method = wrapper_[0], flags = wrapper_[1];
        // The header as a big-endian number is a multiple of 31; deflate with a window of at
        // most 32 KiB.
        if ((method << 8 | flags) % 31 != 0 || (method & 0x0F) != Z_DEFLATED || method >> 4 > 7)
          return Z_DATA_ERROR;
        if (flags & 0x20) {
          wrapper_needed_ = 6;  // the preset dictionary's identifier follows
          if (!TakeWrapperBytes()) return Z_OK;
        }
      }
      if (wrapper_needed_ == 6) return Z_NEED_DICT;
      part_ = TStreamPart::kData;
    }
    if (part_ == TStreamPart::kData) {
      if (z_.avail_in == 0) return Z_OK;
      const Bytef* out = z_.next_out;
      int result = inflate(&z_, Z_NO_FLUSH);
      adler_ = Adler32(adler_, out, static_cast<std::size_t>(z_.next_out - out));
      if (result != Z_STREAM_END) return result;
      part_ = TStreamPart::kCheck;
      wrapper_taken_ = 0;
      wrapper_needed_ = 4;
    }
    if (!TakeWrapperBytes()) return Z_OK;
    return ReadBigEndian32(wrapper_) == adler_ ? Z_STREAM_END : Z_DATA_ERROR;
  }

  // Moves input into wrapper_ until it holds wrapper_needed_ bytes; false when the input ends
  // first.
  bool TakeWrapperBytes() {
    while (wrapper_taken_ < wrapper_needed_ && z_.avail_in > 0) {
      wrapper_[wrapper_taken_++] = *z_.next_in++;
      --z_.avail_in;
    }
    return wrapper_taken_ == wrapper_needed_;
  }

  // Copies up to count bytes from the read-ahead; returns how many there were.
  std::size_t Take(std::uint8_t* out, std::size_t count) {
    std::size_t taken = 0;
    while (taken < count && (position_ < end_ || Refill())) {
      std::size_t n = std::min(count - taken, end_ - position_);
      std::memcpy(out + taken, ahead_.data() + position_, n);
      position_ += n;
      taken += n;
    }
    return taken;
  }

  // Seeks back over the bytes read ahead and not used.
  void GiveBack() {
    if (position_ < end_)
      stream_.Seek(-static_cast<std::int64_t>(end_ - position_), SeekOrigin::kCurrent);
    position_ = end_ = 0;
  }

  void CheckCrc() {
    std::uint8_t bytes[4];
    if (remaining_ != 0 || Take(bytes, 4) < 4 || ReadBigEndian32(bytes) != ~crc_)
      throw EPngInvalidCRC();
  }

  // The current chunk's data is used up: check its CRC and go on into the next IDAT chunk.
  void NextChunk() {
    CheckCrc();
    std::uint8_t head[8];
    if (Take(head, 8) < 8) throw EPngUnexpectedEnd();
    if (std::memcmp(head + 4, "IDAT", 4) != 0) throw EPNGMissingMultipleIDAT();
    remaining_ = ReadBigEndian32(head);
    crc_ = UpdatePngCrc(0xFFFFFFFFu, "IDAT", 4);
  }

  TStream& stream_;
  z_stream z_{};
  std::vector<std::uint8_t> ahead_;
  std::size_t position_ = 0;  // next unused byte of ahead_
  std::size_t end_ = 0;       // bytes of ahead_ read from the stream
  std::uint32_t remaining_;
  std::uint32_t crc_;
  std::size_t requested_ = 0;
  bool ended_ = false;
  // Where Inflate is in the zlib stream, the header or check bytes it holds and the Adler-32 of
  // the output so far.
  enum class TStreamPart { kHeader, kData, kCheck };
  TStreamPart part_ = TStreamPart::kHeader;
  std::uint8_t wrapper_[6] = {};
  std::size_t wrapper_taken_ = 0;
  std::size_t wrapper_needed_ = 2;
  std::uint32_t adler_ = 1;
};

// Sample i of a row packed at depth 1, 2, 4 or 8 bits (high bits first).
inline int PackedSample(const std::uint8_t* row, std::size_t i, int depth) {
  std::size_t bit = i * static_cast<std::size_t>(depth);
  int shift = 8 - depth - static_cast<int>(bit & 7);
  return (row[bit >> 3] >> shift) & ((1 << depth) - 1);
}

// Stores index value at column x of an internal row of 1, 4 or 8 bits per pixel.
inline void SetIndex(std::uint8_t* row, int x, int bits, int value) {
  auto v = static_cast<std::uint8_t>(value);
  switch (bits) {
    case 8: row[x] = v; break;
    case 4: {
      int shift = (x & 1) ? 0 : 4;
      std::uint8_t& b = row[x >> 1];
      b = static_cast<std::uint8_t>((b & ~(0x0F << shift)) | ((v & 0x0F) << shift));
      break;
    }
    case 1: {
      int shift = 7 - (x & 7);
      std::uint8_t& b = row[x >> 3];
      b = static_cast<std::uint8_t>((b & ~(1 << shift)) | ((v & 1) << shift));
      break;
    }
    default: break;
  }
}

// Converts count pixels of an unfiltered PNG row into an internal row (and its alpha row, for
// colour types 4 and 6) at columns x0, x0 + dx, ...
void StoreRow(const TChunkIHDR& header, const std::array<std::uint8_t, 256>& gamma,
              bool identity_gamma, const std::uint8_t* png, std::uint8_t* row, std::uint8_t* alpha,
              int x0, int dx, int count) {
  const TPngInternalImage& image = header.image;
  const int depth = header.bit_depth;
  const int type = header.colour_type;
  if (type == 0 || type == 3) {
    if (depth == 16) {
      for (int i = 0; i < count; ++i) SetIndex(row, x0 + i * dx, 8, png[2 * i]);
    } else if (dx == 1 && depth == image.bits) {
      std::memcpy(row, png, PngRowBytes(type, depth, static_cast<std::uint64_t>(count)));
    } else {
      int factor = (depth == 2 && type == 0) ? 5 : 1;  // 2-bit grey onto the 4-bit ramp
      for (int i = 0; i < count; ++i)
        SetIndex(row, x0 + i * dx, image.bits,
                 PackedSample(png, static_cast<std::size_t>(i), depth) * factor);
    }
    return;
  }
  if (type == 4) {
    const int step = depth == 16 ? 4 : 2;
    const int second = depth == 16 ? 2 : 1;
    for (int i = 0; i < count; ++i) {
      int x = x0 + i * dx;
      row[x] = png[i * step];
      alpha[x] = png[i * step + second];
    }
    return;
  }
  // Colour types 2 and 6: 24-bit blue, green, red through the decoding gamma table.
  if (type == 2 && depth == 8 && identity_gamma) {
    // The common case: the bytes swapped into blue, green, red, nothing looked up.
    std::uint8_t* q = row + static_cast<std::size_t>(x0) * 3;
    if (dx == 1) {
      SwapRedBlue(png, q, static_cast<std::size_t>(count));
      return;
    }
    const std::size_t step = static_cast<std::size_t>(dx) * 3;
    for (int i = 0; i < count; ++i, png += 3, q += step) {
      const std::uint8_t red = png[0], green = png[1], blue = png[2];
      q[0] = blue;
      q[1] = green;
      q[2] = red;
    }
    return;
  }
  const int samples = type == 6 ? 4 : 3;
  const int sample_bytes = depth == 16 ? 2 : 1;
  const int step = samples * sample_bytes;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* p = png + static_cast<std::size_t>(i) * step;
    std::uint8_t* q = row + static_cast<std::size_t>(x0 + i * dx) * 3;
    q[0] = gamma[p[2 * sample_bytes]];
    q[1] = gamma[p[sample_bytes]];
    q[2] = gamma[p[0]];
    if (type == 6) alpha[x0 + i * dx] = p[3 * sample_bytes];
  }
}

// Gives image the colour table's entries for an indexed internal image, unless it has them
// already (changing the palette of shared pixels would copy them).
void SetInternalPalette(const TPngInternalImage& source, TBitmap& image) {
  if (source.bits > 8) return;
  std::size_t entries = std::size_t{1} << source.bits;
  std::vector<TRGBQuad> palette(source.colors.begin(),
                                source.colors.begin() + static_cast<std::ptrdiff_t>(entries));
  if (image.Palette() != palette) image.SetPalette(std::move(palette));
}

// The grey ramp of an indexed grey image: entry n is n x 255 / (2^b - 1), rounded half up,
// through the decoding gamma.
void FillGreyRamp(TPngInternalImage& image, const std::array<std::uint8_t, 256>& gamma) {
  const std::int64_t top = (std::int64_t{1} << image.bits) - 1;
  for (std::int64_t n = 0; n <= top; ++n) {
    std::int64_t grey = (2 * n * 255 + top) / (2 * top);
    std::uint8_t g = gamma[static_cast<std::size_t>(grey)];
    image.colors[static_cast<std::size_t>(n)] = TRGBQuad{g, g, g, 0};
  }
}

// Rows a sink gets at a time: few enough to stay in the cache on their way into a resize.
constexpr int kSinkBandRows = 16;

// Collects the rows of an internal image holding one row, as 24-bit pixels, into bands for a
// sink.
class TSinkBands {
 public:
  TSinkBands(const TPngInternalImage& image, const TPngRowSink& sink)
      : image_(image),
        sink_(sink),
        row_bytes_(3 * static_cast<std::size_t>(image.width)),
        band_(row_bytes_ * kSinkBandRows) {}

  // Converts the internal image's row into the band, handing the band on when it is full.
  void Put(const std::uint8_t* row) {
    std::uint8_t* out = band_.data() + static_cast<std::size_t>(count_) * row_bytes_;
    const int width = image_.width;
    if (image_.bits == 24) {
      std::memcpy(out, row, row_bytes_);
    } else {
      // Indexed pixels through the colour table, as the picture's palette turns them into
      // colours.
      const auto& colors = image_.colors;
      for (int x = 0; x < width; ++x, out += 3) {
        const int index = image_.bits == 8   ? row[x]
                          : image_.bits == 4 ? (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F
                                             : (row[x >> 3] >> (7 - (x & 7))) & 1;
        const TRGBQuad& colour = colors[static_cast<std::size_t>(index)];
        out[0] = colour.blue;
        out[1] = colour.green;
        out[2] = colour.red;
      }
    }
    if (++count_ == kSinkBandRows) Flush();
  }

  void Flush() {
    if (count_ > 0) sink_(band_.data(), static_cast<std::ptrdiff_t>(row_bytes_), count_);
    count_ = 0;
  }

 private:
  const TPngInternalImage& image_;
  const TPngRowSink& sink_;
  const std::size_t row_bytes_;
  std::vector<std::uint8_t> band_;
  int count_ = 0;  // rows in the band
};

}  // namespace

void DecodeImageData(TChunkIHDR& header, const std::array<std::uint8_t, 256>& gamma,
                     TStream& stream, std::uint32_t first_length,
                     const TPngDeepRowConverter& deep_rows, const TPngRowSink& sink) {
  TPngInternalImage& image = header.image;
  if (image.Empty()) header.PrepareImage();
  const bool to_sink = sink && image.one_row && header.interlace_method != 1;
  if (!to_sink) image.HoldAllRows();
  if ((header.colour_type == 0 || header.colour_type == 4) && image.bits <= 8)
    FillGreyRamp(image, gamma);
  // The colour table goes into the pixels' palette now, while no copy shares them.
  SetInternalPalette(image, image.pixels);

  const int width = static_cast<int>(header.width);
  const int height = static_cast<int>(header.height);
  const std::size_t pixel_bytes = PngPixelBytes(header.colour_type, header.bit_depth);
  const std::size_t full_row =
      PngRowBytes(header.colour_type, header.bit_depth, static_cast<std::uint64_t>(width));
  const std::size_t batch_rows =
      std::clamp<std::size_t>(kRowBatchBytes / (full_row + 1), 1, static_cast<std::size_t>(height));
  std::vector<std::uint8_t> batch(batch_rows * (full_row + 1));
  std::vector<std::uint8_t> above(full_row);  // the row above a batch's first row
  bool identity_gamma = true;
  for (std::size_t i = 0; i < gamma.size(); ++i) identity_gamma &= gamma[i] == i;

  // Rows are addressed from the buffer's start, which is taken once (bottom row first).
  std::uint8_t* const bottom = image.pixels.Bits();
  const std::size_t row_size = image.row_size;
  const bool with_alpha = header.colour_type == 4 || header.colour_type == 6;
  // 16-bit colour rows the caller converts (through a colour profile): into the row at once,
  // or, for an Adam7 pass, into a scratch row whose pixels then go to their columns.
  const bool deep =
      deep_rows && header.bit_depth == 16 && (header.colour_type == 2 || header.colour_type == 6);
  std::vector<std::uint8_t> deep_scratch(deep ? 3 * static_cast<std::size_t>(width) : 0);
  // Rows handed on are each made in the one row held.
  auto store = [&](const std::uint8_t* png, int y, int x0, int dx, int count) {
    std::uint8_t* row =
        to_sink ? bottom : bottom + static_cast<std::size_t>(height - 1 - y) * row_size;
    std::uint8_t* alpha = with_alpha ? image.AlphaRow(to_sink ? 0 : y) : nullptr;
    if (!deep) {
      StoreRow(header, gamma, identity_gamma, png, row, alpha, x0, dx, count);
      return;
    }
    const auto pixels = static_cast<std::size_t>(count);
    if (dx == 1) {
      deep_rows(png, row + 3 * static_cast<std::size_t>(x0), pixels);
    } else {
      deep_rows(png, deep_scratch.data(), pixels);
      for (std::size_t i = 0; i < pixels; ++i)
        std::memcpy(row + 3 * (static_cast<std::size_t>(x0) + i * static_cast<std::size_t>(dx)),
                    deep_scratch.data() + 3 * i, 3);
    }
    if (alpha != nullptr)
      for (std::size_t i = 0; i < pixels; ++i)
        alpha[static_cast<std::size_t>(x0) + i * static_cast<std::size_t>(dx)] = png[8 * i + 6];
  };

  TIdatInput input(stream, first_length);
  // Reconstructs rows rows of size bytes each (the image, or one Adam7 pass), the first one
  // below a row of zeros, and hands each to put(r, unfiltered bytes). Stops early when the data
  // ends; a row cut short is completed with zeros. When reading fails, the rows complete before
  // the failure are still put, then the exception goes on.
  auto decode_rows = [&](std::size_t size, int rows, auto&& put) {
    const std::size_t stride = size + 1;
    const int per_batch = static_cast<int>(
        std::min<std::size_t>(batch.size() / stride, static_cast<std::size_t>(rows)));
    std::fill_n(above.begin(), size, std::uint8_t{0});
    const std::uint8_t* previous = above.data();
    for (int r = 0; r < rows;) {
      const std::size_t want = static_cast<std::size_t>(std::min(per_batch, rows - r)) * stride;
      std::exception_ptr failure;
      std::size_t got = 0;
      try {
        got = input.Read(batch.data(), want);
      } catch (...) {
        failure = std::current_exception();
        got = input.Produced();
      }
      std::size_t complete = got / stride;
      if (!failure && got % stride != 0) {
        std::fill(batch.begin() + static_cast<std::ptrdiff_t>(got),
                  batch.begin() + static_cast<std::ptrdiff_t>((complete + 1) * stride), 0);
        ++complete;
      }
      for (std::size_t i = 0; i < complete; ++i, ++r) {
        std::uint8_t* filtered = batch.data() + i * stride;
        UnfilterRow(filtered[0], filtered + 1, previous, size, pixel_bytes);
        put(r, filtered + 1);
        previous = filtered + 1;
      }
      if (failure) std::rethrow_exception(failure);
      if (got < want) return;
      std::memcpy(above.data(), previous, size);
      previous = above.data();
    }
  };

  if (to_sink) {
    TSinkBands bands(image, sink);
    int made = 0;
    decode_rows(full_row, height, [&](int y, const std::uint8_t* png) {
      store(png, y, 0, 1, width);
      bands.Put(bottom);
      made = y + 1;
    });
    // The rows the data did not reach, as the zero rows of a whole picture show.
    if (made < height) std::fill_n(bottom, row_size, std::uint8_t{0});
    for (; made < height; ++made) bands.Put(bottom);
    bands.Flush();
  } else if (header.interlace_method != 1) {
    decode_rows(full_row, height,
                [&](int y, const std::uint8_t* png) { store(png, y, 0, 1, width); });
  } else {
    for (const TAdam7Pass& pass : kAdam7Passes) {
      int pass_width = PassExtent(width, pass.column_start, pass.column_step);
      int pass_height = PassExtent(height, pass.row_start, pass.row_step);
      std::size_t size =
          PngRowBytes(header.colour_type, header.bit_depth, static_cast<std::uint64_t>(pass_width));
      if (size == 0 || pass_height == 0) continue;
      decode_rows(size, pass_height, [&](int r, const std::uint8_t* png) {
        store(png, pass.row_start + r * pass.row_step, pass.column_start, pass.column_step,
              pass_width);
      });
    }
  }
  input.Finish();
}

void CopyInternalImage(const TChunkIHDR& header, TBitmap& image) {
  const TPngInternalImage& source = header.image;
  if (source.Empty()) throw EPNGHeaderNotPresent();
  if (source.one_row) throw std::logic_error("the PNG's rows were handed on, not kept");
  TBitmap result = source.pixels;  // shares the pixels until either image changes them
  SetInternalPalette(source, result);
  image = std::move(result);
}

}  // namespace qv
