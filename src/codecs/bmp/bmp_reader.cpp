// Reading Windows bitmap (.bmp) files into a Raster image.
#include "codecs/bmp/bmp_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "codecs/bmp/bmp_format.h"
#include "codecs/bmp/bmp_rle_decoder.h"
#include "imaging/bitmap.h"
#include "imaging/image_limits.h"
#include "runtime/exceptions.h"
#include "runtime/messages.h"
#include "runtime/stream.h"
#include "runtime/translation.h"

namespace qv {

namespace {

// A run-length image of fewer pixels than this is always accepted; beyond it the compressed
// data must hold at least one byte per kRlePixelsPerByte pixels. The best a run can do is 255
// pixels in 2 bytes, so real files stay far inside; a tiny file that claims a huge picture
// (all of it "skipped") is refused before its buffer is taken.
inline constexpr std::uint64_t kRleFreePixels = std::uint64_t{1} << 20;
inline constexpr std::uint64_t kRlePixelsPerByte = 256;

// What the headers of the file said.
struct BmpHeader : bmp::TInfoHeader {
  std::int64_t start = 0;  // stream position of the file header
  bool core = false;
};

[[noreturn]] void Invalid() { throw EInvalidGraphic(Tr(messages::kInvalidBitmap)); }

void SkipBytes(TStream& stream, std::uint64_t count) {
  if (count > static_cast<std::uint64_t>(std::max<std::int64_t>(stream.Remaining(), 0)))
    throw EReadError();
  stream.Seek(static_cast<std::int64_t>(count), SeekOrigin::kCurrent);
}

void ReadFileHeader(TStream& stream, BmpHeader& header) {
  header.start = stream.Position();
  std::uint8_t bytes[bmp::kFileHeaderSize];
  stream.ReadBuffer(bytes, sizeof bytes);
  if (bmp::ReadU16Le(bytes) != bmp::kSignature) Invalid();
}

void ReadInfoHeader(TStream& stream, BmpHeader& header) {
  std::uint8_t size_bytes[4];
  stream.ReadBuffer(size_bytes, 4);
  header.header_size = bmp::ReadU32Le(size_bytes);
  if (header.header_size == bmp::kCoreHeaderSize) {
    // The core header's 16-bit fields, widened as a 40-byte header with the rest 0.
    std::uint8_t core[8];
    stream.ReadBuffer(core, sizeof core);
    header.core = true;
    header.width = bmp::ReadU16Le(core);
    header.height = bmp::ReadU16Le(core + 2);
    header.planes = bmp::ReadU16Le(core + 4);
    header.bits = bmp::ReadU16Le(core + 6);
    return;
  }
  if (header.header_size < bmp::kInfoHeaderSize) Invalid();
  // Larger headers carry the masks themselves; whatever follows them is not used here.
  std::uint32_t used = header.header_size >= bmp::kHeaderWithMasksSize ? bmp::kHeaderWithMasksSize
                                                                       : bmp::kInfoHeaderSize;
  std::uint8_t bytes[bmp::kHeaderWithMasksSize];
  std::memcpy(bytes, size_bytes, 4);
  stream.ReadBuffer(bytes + 4, used - 4);
  static_cast<bmp::TInfoHeader&>(header) = bmp::ReadInfoHeader({bytes, used});
  SkipBytes(stream, header.header_size - used);
}

// Checks what the reader can build before anything is read past the headers.
void Validate(const BmpHeader& header) {
  if (header.planes != 1) Invalid();
  if (!bmp::IsPixelDepth(header.bits)) Invalid();
  switch (header.compression) {
    case bmp::kCompressionNone: break;
    case bmp::kCompressionRle8:
      if (header.bits != 8 || header.height < 0) Invalid();  // run-length files are bottom-up
      break;
    case bmp::kCompressionRle4:
      if (header.bits != 4 || header.height < 0) Invalid();
      break;
    case bmp::kCompressionBitFields:
      if (header.bits != 16 && header.bits != 32) Invalid();
      break;
    default: Invalid();  // embedded JPEG or PNG and unknown codes: no decoder for them
  }
  if (header.width < 0) Invalid();
}

void ReadMasks(TStream& stream, BmpHeader& header) {
  if (header.compression != bmp::kCompressionBitFields || header.has_masks) return;
  std::uint8_t masks[12];
  stream.ReadBuffer(masks, sizeof masks);
  bmp::ReadMasks(masks, header.masks);
  header.has_masks = true;
}

// Reads the colour table; holds at most 256 entries and skips the rest of a longer table.
std::vector<TRGBQuad> ReadColorTable(TStream& stream, BmpHeader& header) {
  if (header.colors_used == 0 && header.bits <= 8) header.colors_used = 1u << header.bits;
  std::uint64_t entry_size = header.core ? 3 : 4;
  std::uint64_t table_bytes = entry_size * header.colors_used;
  if (table_bytes > static_cast<std::uint64_t>(std::max<std::int64_t>(stream.Remaining(), 0)))
    throw EReadError();
  std::uint32_t held = std::min<std::uint32_t>(header.colors_used, 256);
  std::vector<std::uint8_t> bytes(held * entry_size);
  stream.ReadBuffer(bytes.data(), bytes.size());
  SkipBytes(stream, table_bytes - bytes.size());
  std::vector<TRGBQuad> table(held);
  for (std::uint32_t i = 0; i < held; ++i) {
    const std::uint8_t* entry = bytes.data() + i * entry_size;
    table[i] = {entry[0], entry[1], entry[2], header.core ? std::uint8_t{0} : entry[3]};
  }
  return table;
}

bool MasksAre(const BmpHeader& header, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return header.masks[0] == red && header.masks[1] == green && header.masks[2] == blue;
}

// The image format of an uncompressed or bit-field file; masks of 0 stand for the defaults.
TPixelFormat FormatOf(BmpHeader& header) {
  switch (header.bits) {
    case 1: return TPixelFormat::pf1bit;
    case 4: return TPixelFormat::pf4bit;
    case 8: return TPixelFormat::pf8bit;
    case 24: return TPixelFormat::pf24bit;
    default: break;
  }
  bool sixteen = header.bits == 16;
  if (header.compression != bmp::kCompressionBitFields)
    return sixteen ? TPixelFormat::pf15bit : TPixelFormat::pf32bit;
  if ((header.masks[0] | header.masks[1] | header.masks[2]) == 0) {
    if (sixteen) {
      header.masks[0] = 0xF800, header.masks[1] = 0x07E0, header.masks[2] = 0x001F;
    } else {
      header.masks[0] = 0xFF0000, header.masks[1] = 0x00FF00, header.masks[2] = 0x0000FF;
    }
  }
  if (sixteen) {
    if (MasksAre(header, 0xF800, 0x07E0, 0x001F)) return TPixelFormat::pf16bit;
    if (MasksAre(header, 0x7C00, 0x03E0, 0x001F)) return TPixelFormat::pf15bit;
    return TPixelFormat::pfCustom;
  }
  if (MasksAre(header, 0xFF0000, 0x00FF00, 0x0000FF)) return TPixelFormat::pf32bit;
  return TPixelFormat::pfCustom;
}

// The rows' bytes of an uncompressed picture of the header's size, which must all be in the
// stream: a short file is refused before a buffer is taken.
std::uint64_t PlainPixelBytes(TStream& stream, const BmpHeader& header) {
  std::int64_t height =
      header.height < 0 ? -static_cast<std::int64_t>(header.height) : header.height;
  CheckImageSize(header.width, height, header.bits);
  std::uint64_t needed = bmp::StoredRowSize(static_cast<std::uint64_t>(header.width), header.bits) *
                         static_cast<std::uint64_t>(height);
  if (needed > static_cast<std::uint64_t>(std::max<std::int64_t>(stream.Remaining(), 0)))
    throw EReadError();
  return needed;
}

void ReadPlainPixels(TStream& stream, BmpHeader& header, TBitmap& image) {
  std::int64_t height =
      header.height < 0 ? -static_cast<std::int64_t>(header.height) : header.height;
  std::uint64_t needed = PlainPixelBytes(stream, header);
  TPixelFormat format = FormatOf(header);
  image.Allocate(header.width, static_cast<int>(height), format, header.height < 0,
                 format == TPixelFormat::pfCustom ? header.bits : 0);
  stream.ReadBuffer(image.Bits(), static_cast<std::size_t>(needed));
}

std::vector<std::uint8_t> ReadRetainedFile(TStream& stream, const BmpHeader& header) {
  std::int64_t end = stream.Size();
  std::uint64_t size = static_cast<std::uint64_t>(std::max<std::int64_t>(end - header.start, 0));
  if (size > std::numeric_limits<std::size_t>::max() / 2) throw EOutOfMemory();
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  std::int64_t resume = stream.Position();
  stream.SetPosition(header.start);
  stream.ReadBuffer(bytes.data(), bytes.size());
  stream.SetPosition(resume);
  return bytes;
}

// Run-length pixels become an image of the display's format with the colour table as its palette;
// pixels the runs do not reach show the first palette entry.
void ReadRlePixels(TStream& stream, const BmpHeader& header, const std::vector<TRGBQuad>& table,
                   std::vector<std::uint8_t>& retained, TBitmap& image) {
  CheckImageSize(header.width, header.height, 32);
  retained = ReadRetainedFile(stream, header);
  std::uint64_t offset = static_cast<std::uint64_t>(stream.Position() - header.start);
  std::span<const std::uint8_t> data(retained.data() + offset, retained.size() - offset);
  std::uint64_t pixels =
      static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(header.height);
  if (pixels > kRleFreePixels && pixels / kRlePixelsPerByte > data.size()) Invalid();
  std::vector<std::uint8_t> indices;
  try {
    indices.assign(static_cast<std::size_t>(pixels), 0);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  DecodeBmpRle(data,
               header.compression == bmp::kCompressionRle4 ? TRleKind::kRle4 : TRleKind::kRle8,
               header.width, header.height, indices);
  image.Allocate(header.width, header.height, TPixelFormat::pfDevice);
  std::uint8_t colors[256][4] = {};
  for (std::size_t i = 0; i < table.size(); ++i)
    colors[i][0] = table[i].blue, colors[i][1] = table[i].green, colors[i][2] = table[i].red;
  // Both the index rows and the image's memory rows run bottom-up.
  std::uint8_t* out = image.Bits();
  for (std::size_t i = 0; i < indices.size(); ++i) std::memcpy(out + 4 * i, colors[indices[i]], 4);
}

// Gives image (its pixels allocated) the colour table and the file's fields.
void SetFileFields(const BmpHeader& header, const std::vector<TRGBQuad>& table, bool rle,
                   std::vector<std::uint8_t> retained, TBitmap& result) {
  result.SetPalette(table);
  TDibInfo& dib = result.MutableDibInfo();
  dib.core_header = header.core;
  dib.compression = rle ? bmp::kCompressionNone : header.compression;
  if (header.compression == bmp::kCompressionBitFields)
    std::copy(header.masks, header.masks + 3, dib.masks);
  dib.x_pels_per_meter = header.x_pels_per_meter;
  dib.y_pels_per_meter = header.y_pels_per_meter;
  dib.colors_used = header.colors_used;
  dib.colors_important = header.colors_important;
  if (header.bits > 8) dib.color_table = table;
  dib.retained_file = std::move(retained);
}

// Rows a sink gets at a time.
constexpr int kSinkBandRows = 16;

// An uncompressed picture of the header's width, rows high, with the colour table and fields,
// its pixels to be read.
TBitmap NewPlainPicture(BmpHeader& header, const std::vector<TRGBQuad>& table, int rows) {
  TBitmap picture;
  const TPixelFormat format = FormatOf(header);
  picture.Allocate(header.width, rows, format, header.height < 0,
                   format == TPixelFormat::pfCustom ? header.bits : 0);
  SetFileFields(header, table, false, {}, picture);
  return picture;
}

// The rows of an uncompressed picture, top row first, a band at a time through a picture of the
// file's format (as the whole picture is read) converted to 24 bits.
void SendPlainRows(TStream& stream, BmpHeader& header, const std::vector<TRGBQuad>& table,
                   const TBmpRowSink& sink) {
  const std::uint64_t needed = PlainPixelBytes(stream, header);
  const bool top_down = header.height < 0;
  const int height = top_down ? -header.height : header.height;
  const std::int64_t first = stream.Position();
  const std::uint64_t row_bytes =
      bmp::StoredRowSize(static_cast<std::uint64_t>(header.width), header.bits);
  for (int y = 0; y < height; y += kSinkBandRows) {
    const int count = std::min(kSinkBandRows, height - y);
    // A band holds its rows in the order the file stores them: the first file row of a
    // bottom-up band is its bottom row.
    const int file_row = top_down ? y : height - y - count;
    TBitmap band = NewPlainPicture(header, table, count);
    stream.SetPosition(first + static_cast<std::int64_t>(row_bytes) * file_row);
    stream.ReadBuffer(band.Bits(), static_cast<std::size_t>(row_bytes) * count);
    band.SetPixelFormat(TPixelFormat::pf24bit);
    const TBitmap& rows = band;
    sink(rows.ScanLine(0), rows.RowStep(), count);
  }
  stream.SetPosition(first + static_cast<std::int64_t>(needed));
}

// Reads the headers and colour table; false for a picture without pixels.
bool ReadHeaders(TStream& stream, BmpHeader& header, std::vector<TRGBQuad>& table) {
  ReadFileHeader(stream, header);
  ReadInfoHeader(stream, header);
  Validate(header);
  ReadMasks(stream, header);
  table = ReadColorTable(stream, header);
  return header.width != 0 && header.height != 0;
}

}  // namespace

void ReadBitmap(TBitmap& image, TStream& stream) {
  if (stream.Remaining() <= 0) {
    image = TBitmap();
    return;
  }
  BmpHeader header;
  std::vector<TRGBQuad> table;
  TBitmap result;
  if (!ReadHeaders(stream, header, table)) {
    // Nothing to show: an empty image, which the conversion job passes over.
    image = result;
    return;
  }
  std::vector<std::uint8_t> retained;
  bool rle =
      header.compression == bmp::kCompressionRle8 || header.compression == bmp::kCompressionRle4;
  if (rle) {
    ReadRlePixels(stream, header, table, retained, result);
  } else {
    ReadPlainPixels(stream, header, result);
  }
  SetFileFields(header, table, rle, std::move(retained), result);
  image = result;
}

bool ReadBitmapRows(
    TBitmap& image, TStream& stream,
    const std::function<TBmpRowSink(int width, int height, int bits)>& choose_sink) {
  if (stream.Remaining() <= 0) {
    ReadBitmap(image, stream);
    return false;
  }
  const std::int64_t start = stream.Position();
  BmpHeader header;
  std::vector<TRGBQuad> table;
  TBmpRowSink sink;
  if (ReadHeaders(stream, header, table) && header.compression != bmp::kCompressionRle8 &&
      header.compression != bmp::kCompressionRle4) {
    PlainPixelBytes(stream, header);  // fails as reading the whole picture fails
    sink =
        choose_sink(header.width, header.height < 0 ? -header.height : header.height, header.bits);
  }
  if (!sink) {
    stream.SetPosition(start);
    ReadBitmap(image, stream);
    return false;
  }
  TBitmap like = NewPlainPicture(header, table, 1);
  SendPlainRows(stream, header, table, sink);
  image = like;
  return true;
}

}  // namespace qv
