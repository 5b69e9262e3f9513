// The Raster image: buffer management, copy-on-write sharing and pixel-format conversion.
#include "imaging/bitmap.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

#include "runtime/exceptions.h"
#include "runtime/messages.h"

namespace qv {

struct TBitmap::Data {
  int width = 0;
  int height = 0;
  TPixelFormat format = TPixelFormat::pfDevice;
  int bits = 32;  // bits per pixel of the buffer (custom images keep the file's)
  bool top_down = false;
  std::vector<std::uint8_t> pixels;
  std::vector<TRGBQuad> palette;
  TDibInfo dib;
};

int BitsPerPixel(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit: return 32;
    case TPixelFormat::pfCustom: return 0;
  }
  return 0;
}

std::size_t RowSizeFor(int width, int bits_per_pixel) {
  std::uint64_t bits = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bits_per_pixel);
  return static_cast<std::size_t>(((bits + 31) & ~std::uint64_t{31}) / 8);
}

const std::vector<TRGBQuad>& SystemPalette16() {
  static const std::vector<TRGBQuad> palette = {
      {0, 0, 0, 0},       {0, 0, 128, 0},     {0, 128, 0, 0},   {0, 128, 128, 0},
      {128, 0, 0, 0},     {128, 0, 128, 0},   {128, 128, 0, 0}, {192, 192, 192, 0},
      {128, 128, 128, 0}, {0, 0, 255, 0},     {0, 255, 0, 0},   {0, 255, 255, 0},
      {255, 0, 0, 0},     {255, 0, 255, 0},   {255, 255, 0, 0}, {255, 255, 255, 0}};
  return palette;
}

const std::vector<TRGBQuad>& HalftonePalette256() {
  // The 16 system colours, a 6 x 6 x 6 colour cube and 24 further greys.
  static const std::vector<TRGBQuad> palette = [] {
    std::vector<TRGBQuad> p = SystemPalette16();
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b)
          p.push_back({static_cast<std::uint8_t>(b * 51), static_cast<std::uint8_t>(g * 51),
                       static_cast<std::uint8_t>(r * 51), 0});
    for (int i = 1; p.size() < 256; ++i) {
      auto v = static_cast<std::uint8_t>(i * 255 / 25);
      p.push_back({v, v, v, 0});
    }
    return p;
  }();
  return palette;
}

namespace {

struct Rgb {
  std::uint8_t r, g, b;
};

std::uint8_t Scale(std::uint32_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = std::countr_zero(mask);
  std::uint32_t max = mask >> shift;
  std::uint32_t v = (value & mask) >> shift;
  return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
}

void DefaultMasks(TPixelFormat format, std::uint32_t masks[3]) {
  if (format == TPixelFormat::pf16bit) {
    masks[0] = 0xF800, masks[1] = 0x07E0, masks[2] = 0x001F;
  } else if (format == TPixelFormat::pf15bit) {
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  } else {
    masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
  }
}

// Reads pixel x of a row in any format into red, green, blue.
class PixelReader {
 public:
  PixelReader(TPixelFormat format, int bits, const std::vector<TRGBQuad>& palette,
              const TDibInfo& dib)
      : format_(format), bits_(bits), palette_(palette) {
    DefaultMasks(format, masks_);
    if (format == TPixelFormat::pfCustom && dib.compression == 3)
      std::copy(dib.masks, dib.masks + 3, masks_);
  }

  Rgb Get(const std::uint8_t* row, int x) const {
    switch (bits_) {
      case 1: return Index((row[x >> 3] >> (7 - (x & 7))) & 1);
      case 4: return Index((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
      case 8: return Index(row[x]);
      case 16: {
        std::uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
        return {Scale(v, masks_[0]), Scale(v, masks_[1]), Scale(v, masks_[2])};
      }
      case 24: return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
      case 32: {
        if (format_ != TPixelFormat::pfCustom) return {row[4 * x + 2], row[4 * x + 1], row[4 * x]};
        std::uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        return {Scale(v, masks_[0]), Scale(v, masks_[1]), Scale(v, masks_[2])};
      }
      default: return {0, 0, 0};
    }
  }

 private:
  Rgb Index(unsigned i) const {
    if (i >= palette_.size()) return {0, 0, 0};
    return {palette_[i].red, palette_[i].green, palette_[i].blue};
  }
  TPixelFormat format_;
  int bits_;
  const std::vector<TRGBQuad>& palette_;
  std::uint32_t masks_[3];
};

// Nearest palette entry by squared distance, cached on a 32-level grid per channel.
class NearestColor {
 public:
  explicit NearestColor(const std::vector<TRGBQuad>& palette) : palette_(palette) {
    cache_.fill(-1);
  }
  std::uint8_t Find(Rgb c) {
    std::size_t key = (c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3);
    if (cache_[key] >= 0) return static_cast<std::uint8_t>(cache_[key]);
    int best = 0;
    int best_distance = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < palette_.size(); ++i) {
      int dr = c.r - palette_[i].red, dg = c.g - palette_[i].green, db = c.b - palette_[i].blue;
      int d = dr * dr + dg * dg + db * db;
      if (d < best_distance) best_distance = d, best = static_cast<int>(i);
    }
    cache_[key] = static_cast<std::int16_t>(best);
    return static_cast<std::uint8_t>(best);
  }

 private:
  const std::vector<TRGBQuad>& palette_;
  std::array<std::int16_t, 32768> cache_;
};

std::vector<std::uint8_t> NewBuffer(int width, int height, int bits, std::uint8_t fill) {
  std::size_t row = RowSizeFor(width, bits);
  if (height > 0 && row > kMaxPixelBufferBytes / static_cast<std::size_t>(height))
    throw EOutOfMemory();
  try {
    return std::vector<std::uint8_t>(row * static_cast<std::size_t>(height), fill);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
}

// Index of white in a palette (the nearest entry), for the new pixels of a palette image.
std::uint8_t WhiteIndex(const std::vector<TRGBQuad>& palette) {
  NearestColor nearest(palette);
  return palette.empty() ? 0 : nearest.Find({255, 255, 255});
}

void SetIndex(std::uint8_t* row, int x, int bits, std::uint8_t index) {
  if (bits == 8) {
    row[x] = index;
  } else if (bits == 4) {
    int shift = (x & 1) ? 0 : 4;
    row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & ~(15 << shift)) | ((index & 15) << shift));
  } else if (bits == 1) {
    int shift = 7 - (x & 7);
    row[x >> 3] = static_cast<std::uint8_t>((row[x >> 3] & ~(1 << shift)) | ((index & 1) << shift));
  }
}

}  // namespace

TBitmap::TBitmap() : data_(std::make_shared<Data>()) {}

int TBitmap::Width() const { return data_->width; }
int TBitmap::Height() const { return data_->height; }
TPixelFormat TBitmap::PixelFormat() const { return data_->format; }
int TBitmap::BitsPerPixel() const { return data_->bits; }
bool TBitmap::TopDown() const { return data_->top_down; }
std::size_t TBitmap::RowSize() const { return RowSizeFor(data_->width, data_->bits); }

std::ptrdiff_t TBitmap::RowStep() const {
  auto row = static_cast<std::ptrdiff_t>(RowSize());
  return data_->top_down ? row : -row;
}

bool TBitmap::Empty() const { return data_->pixels.empty(); }
const std::vector<TRGBQuad>& TBitmap::Palette() const { return data_->palette; }
const TDibInfo& TBitmap::DibInfo() const { return data_->dib; }

TBitmap::Data& TBitmap::Mutable() {
  // use_count is exact enough here: another owner can only add users through a copy of this one.
  if (data_.use_count() > 1) data_ = std::make_shared<Data>(*data_);
  data_->dib.retained_file.clear();
  return *data_;
}

TDibInfo& TBitmap::MutableDibInfo() {
  if (data_.use_count() > 1) data_ = std::make_shared<Data>(*data_);
  return data_->dib;
}

std::uint8_t* TBitmap::Bits() { return Mutable().pixels.data(); }
const std::uint8_t* TBitmap::Bits() const { return data_->pixels.data(); }
std::size_t TBitmap::BitsSize() const { return data_->pixels.size(); }

const std::uint8_t* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= data_->height || data_->pixels.empty())
    throw EInvalidGraphicOperation(messages::kScanLineOutOfRange);
  std::size_t row = RowSize();
  std::size_t index = data_->top_down ? static_cast<std::size_t>(y)
                                      : static_cast<std::size_t>(data_->height - 1 - y);
  return data_->pixels.data() + index * row;
}

std::uint8_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= data_->height || data_->pixels.empty())
    throw EInvalidGraphicOperation(messages::kScanLineOutOfRange);
  Mutable();
  return const_cast<std::uint8_t*>(std::as_const(*this).ScanLine(y));
}

void TBitmap::SetPalette(std::vector<TRGBQuad> palette) {
  if (palette.size() > 256) palette.resize(256);
  Mutable().palette = std::move(palette);
}

void TBitmap::Assign(const TBitmap* source) {
  if (source == this) return;
  if (source == nullptr) {
    Clear();
    return;
  }
  data_ = source->data_;
}

void TBitmap::Clear() {
  auto fresh = std::make_shared<Data>();
  fresh->format = data_->format;
  fresh->bits = data_->bits;
  data_ = std::move(fresh);
}

void TBitmap::Allocate(int width, int height, TPixelFormat format, bool top_down,
                       int custom_bits) {
  int bits = format == TPixelFormat::pfCustom ? custom_bits : qv::BitsPerPixel(format);
  auto fresh = std::make_shared<Data>();
  fresh->width = std::max(width, 0);
  fresh->height = std::max(height, 0);
  fresh->format = format;
  fresh->bits = bits;
  fresh->top_down = top_down;
  if (fresh->width > 0 && fresh->height > 0 && bits > 0)
    fresh->pixels = NewBuffer(fresh->width, fresh->height, bits, 0);
  data_ = std::move(fresh);
}

void TBitmap::SetWidth(int width) { SetSize(width, data_->height); }
void TBitmap::SetHeight(int height) { SetSize(data_->width, height); }

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == data_->width && height == data_->height) return;
  const Data& old = *data_;
  int bits = old.bits > 0 ? old.bits : 32;
  bool palette_image = bits <= 8;
  std::uint8_t white = palette_image ? WhiteIndex(old.palette) : 0xFF;
  std::vector<std::uint8_t> pixels;
  if (width > 0 && height > 0) pixels = NewBuffer(width, height, bits, bits == 8 ? white : 0xFF);
  std::size_t new_row = RowSizeFor(width, bits);
  if (palette_image && bits < 8 && !pixels.empty()) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) SetIndex(pixels.data() + y * new_row, x, bits, white);
  }
  // Copy the overlap, top-left aligned; new rows keep bottom-up order.
  int copy_width = std::min(width, old.width);
  int copy_height = std::min(height, old.height);
  if (!old.pixels.empty() && copy_width > 0 && copy_height > 0) {
    std::size_t old_row = RowSizeFor(old.width, bits);
    std::size_t copy_bits = static_cast<std::size_t>(copy_width) * static_cast<std::size_t>(bits);
    for (int y = 0; y < copy_height; ++y) {
      const std::uint8_t* src = old.pixels.data() +
          (old.top_down ? y : old.height - 1 - y) * old_row;
      std::uint8_t* dst = pixels.data() + (old.top_down ? y : height - 1 - y) * new_row;
      std::memcpy(dst, src, copy_bits / 8);
      for (std::size_t b = copy_bits / 8 * 8; b < copy_bits; ++b) {
        std::size_t byte = b / 8;
        int shift = 7 - static_cast<int>(b % 8);
        dst[byte] = static_cast<std::uint8_t>((dst[byte] & ~(1 << shift)) | (src[byte] & (1 << shift)));
      }
    }
  }
  Data& data = Mutable();
  data.width = width;
  data.height = height;
  data.bits = bits;
  data.pixels = std::move(pixels);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == TPixelFormat::pfCustom)
    throw EInvalidGraphicOperation(messages::kInvalidPixelFormat);
  if (format == data_->format) return;
  const Data& old = *data_;
  int bits = qv::BitsPerPixel(format);
  std::vector<TRGBQuad> palette;
  if (format == TPixelFormat::pf8bit) palette = HalftonePalette256();
  if (format == TPixelFormat::pf4bit) palette = SystemPalette16();
  if (format == TPixelFormat::pf1bit) palette = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  std::vector<std::uint8_t> pixels;
  if (!old.pixels.empty()) {
    pixels = NewBuffer(old.width, old.height, bits, 0);
    PixelReader reader(old.format, old.bits, old.palette, old.dib);
    std::unique_ptr<NearestColor> nearest;
    if (bits <= 8) nearest = std::make_unique<NearestColor>(palette);
    std::size_t old_row = RowSizeFor(old.width, old.bits);
    std::size_t new_row = RowSizeFor(old.width, bits);
    std::uint32_t masks[3];
    DefaultMasks(format, masks);
    for (int y = 0; y < old.height; ++y) {
      // Both buffers keep the old memory order, so memory row y maps to memory row y.
      const std::uint8_t* src = old.pixels.data() + y * old_row;
      std::uint8_t* dst = pixels.data() + y * new_row;
      for (int x = 0; x < old.width; ++x) {
        Rgb c = reader.Get(src, x);
        if (bits <= 8) {
          SetIndex(dst, x, bits, nearest->Find(c));
        } else if (bits == 16) {
          auto pack = [](std::uint8_t v, std::uint32_t mask) {
            int shift = std::countr_zero(mask);
            std::uint32_t max = mask >> shift;
            return ((v * max + 127) / 255) << shift;
          };
          std::uint32_t v = pack(c.r, masks[0]) | pack(c.g, masks[1]) | pack(c.b, masks[2]);
          dst[2 * x] = static_cast<std::uint8_t>(v);
          dst[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
        } else if (bits == 24) {
          dst[3 * x] = c.b, dst[3 * x + 1] = c.g, dst[3 * x + 2] = c.r;
        } else {
          dst[4 * x] = c.b, dst[4 * x + 1] = c.g, dst[4 * x + 2] = c.r, dst[4 * x + 3] = 0;
        }
      }
    }
  }
  Data& data = Mutable();
  data.format = format;
  data.bits = bits;
  data.pixels = std::move(pixels);
  data.palette = std::move(palette);
  data.dib.compression = 0;
  data.dib.core_header = false;
  data.dib.color_table.clear();
  data.dib.colors_used = 0;
  data.dib.colors_important = 0;
}

}  // namespace qv
