// The Raster image: buffer management, copy-on-write sharing and pixel-format conversion.
#include "imaging/bitmap.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "imaging/image_limits.h"
#include "runtime/exceptions.h"
#include "runtime/messages.h"
#include "runtime/translation.h"

namespace qv {

struct TBitmap::Data {
  int width = 0;
  int height = 0;
  TPixelFormat format = TPixelFormat::pfDevice;
  int bits = 32;  // bits per pixel of the buffer (custom images keep the file's)
  bool top_down = false;
  TPixelBuffer pixels;
  std::vector<TRGBQuad> palette;
  TDibInfo dib;
  bool transparent = false;
  TRGBQuad transparent_color;
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
  std::uint64_t bits = static_cast<std::uint64_t>(std::max(width, 0)) *
                       static_cast<std::uint64_t>(std::max(bits_per_pixel, 0));
  return static_cast<std::size_t>(((bits + 31) & ~std::uint64_t{31}) / 8);
}

const std::vector<TRGBQuad>& SystemPalette16() {
  static const std::vector<TRGBQuad> palette = {
      {0, 0, 0, 0},       {0, 0, 128, 0},   {0, 128, 0, 0},   {0, 128, 128, 0},
      {128, 0, 0, 0},     {128, 0, 128, 0}, {128, 128, 0, 0}, {192, 192, 192, 0},
      {128, 128, 128, 0}, {0, 0, 255, 0},   {0, 255, 0, 0},   {0, 255, 255, 0},
      {255, 0, 0, 0},     {255, 0, 255, 0}, {255, 255, 0, 0}, {255, 255, 255, 0}};
  return palette;
}

const std::vector<TRGBQuad>& HalftonePalette256() {
  // The 16 system colours, the 6 x 6 x 6 colour cube without the 8 corners the system colours
  // already hold, and 32 greys between the cube's greys: 256 distinct entries.
  static const std::vector<TRGBQuad> palette = [] {
    std::vector<TRGBQuad> p = SystemPalette16();
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) {
          TRGBQuad q{static_cast<std::uint8_t>(b * 51), static_cast<std::uint8_t>(g * 51),
                     static_cast<std::uint8_t>(r * 51), 0};
          if (std::find(p.begin(), p.begin() + 16, q) == p.begin() + 16) p.push_back(q);
        }
    for (int i = 1; i <= 32; ++i) {
      auto v = static_cast<std::uint8_t>(i * 255 / 33);
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

// Channel value of a bit-field mask scaled to 0..255 (a mask of 0 reads as 0).
std::uint8_t Scale(std::uint32_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = std::countr_zero(mask);
  std::uint64_t max = mask >> shift;
  std::uint64_t v = (value & mask) >> shift;
  return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
}

// Value 0..255 packed into the bits of a contiguous mask.
std::uint32_t Pack(std::uint8_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = std::countr_zero(mask);
  std::uint64_t max = mask >> shift;
  return static_cast<std::uint32_t>((value * max + 127) / 255) << shift;
}

void DefaultMasks(TPixelFormat format, int bits, std::uint32_t masks[3]) {
  if (format == TPixelFormat::pf16bit) {
    masks[0] = 0xF800, masks[1] = 0x07E0, masks[2] = 0x001F;
  } else if (format == TPixelFormat::pf15bit || bits == 16) {
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  } else {
    masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
  }
}

// The masks a 16 or 32-bit buffer is laid out by: the file's for custom images, else the format's.
void BufferMasks(TPixelFormat format, int bits, const TDibInfo& dib, std::uint32_t masks[3]) {
  DefaultMasks(format, bits, masks);
  if (format == TPixelFormat::pfCustom && dib.compression == 3 &&
      (dib.masks[0] | dib.masks[1] | dib.masks[2]) != 0)
    std::copy(dib.masks, dib.masks + 3, masks);
}

// Reads pixel x of a row in any format into red, green, blue.
class PixelReader {
 public:
  PixelReader(TPixelFormat format, int bits, const std::vector<TRGBQuad>& palette,
              const TDibInfo& dib)
      : custom_(format == TPixelFormat::pfCustom), bits_(bits), palette_(palette) {
    BufferMasks(format, bits, dib, masks_);
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
        if (!custom_) return {row[4 * x + 2], row[4 * x + 1], row[4 * x]};
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
  bool custom_;
  int bits_;
  const std::vector<TRGBQuad>& palette_;
  std::uint32_t masks_[3];
};

// Nearest palette entry by squared distance (the lowest index among equals), exact. The colour
// cube is cut into 16 x 16 x 16 cells; each cell lists the entries that can be nearest to some
// colour inside it (those whose distance to the cell is at most the smallest distance any entry
// has to the cell's farthest corner), so a lookup scans a handful of entries, not all 256.
class NearestColor {
 public:
  explicit NearestColor(const std::vector<TRGBQuad>& palette) {
    std::size_t count = std::min<std::size_t>(palette.size(), 256);
    for (std::size_t i = 0; i < count; ++i)
      entries_.push_back({palette[i].red, palette[i].green, palette[i].blue});
    starts_.resize(kCells + 1, 0);
    std::vector<int> near(count), far(count);
    for (std::size_t cell = 0; cell < kCells; ++cell) {
      int lo[3] = {static_cast<int>(cell >> 8) * 16, static_cast<int>((cell >> 4) & 15) * 16,
                   static_cast<int>(cell & 15) * 16};
      int threshold = std::numeric_limits<int>::max();
      for (std::size_t i = 0; i < count; ++i) {
        near[i] = far[i] = 0;
        for (int channel = 0; channel < 3; ++channel) {
          int v = entries_[i][channel];
          int below = lo[channel] - v, above = v - (lo[channel] + 15);
          int outside = std::max({below, above, 0});
          int farthest = std::max(std::abs(v - lo[channel]), std::abs(v - lo[channel] - 15));
          near[i] += outside * outside;
          far[i] += farthest * farthest;
        }
        threshold = std::min(threshold, far[i]);
      }
      for (std::size_t i = 0; i < count; ++i)
        if (near[i] <= threshold) candidates_.push_back(static_cast<std::uint8_t>(i));
      starts_[cell + 1] = candidates_.size();
    }
  }

  std::uint8_t Find(Rgb c) const {
    std::size_t cell = static_cast<std::size_t>((c.r >> 4) << 8 | (c.g >> 4) << 4 | (c.b >> 4));
    int best = 0;
    int best_distance = std::numeric_limits<int>::max();
    for (std::size_t k = starts_[cell]; k < starts_[cell + 1]; ++k) {
      const auto& e = entries_[candidates_[k]];
      int dr = c.r - e[0], dg = c.g - e[1], db = c.b - e[2];
      int d = dr * dr + dg * dg + db * db;
      if (d < best_distance) best_distance = d, best = candidates_[k];
    }
    return static_cast<std::uint8_t>(best);
  }

 private:
  static constexpr std::size_t kCells = 4096;
  std::vector<std::array<int, 3>> entries_;
  std::vector<std::size_t> starts_;
  std::vector<std::uint8_t> candidates_;  // per cell, in palette order
};

// A zero-filled buffer of height rows.
TPixelBuffer NewBuffer(int width, int height, int bits) {
  std::size_t row = RowSizeFor(width, bits);
  if (height > 0 && row > kMaxDecodedBytes / static_cast<std::size_t>(height)) throw EOutOfMemory();
  try {
    return TPixelBuffer(row * static_cast<std::size_t>(height));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
}

void SetIndex(std::uint8_t* row, int x, int bits, std::uint8_t index) {
  if (bits == 8) {
    row[x] = index;
  } else if (bits == 4) {
    int shift = (x & 1) ? 0 : 4;
    row[x >> 1] =
        static_cast<std::uint8_t>((row[x >> 1] & ~(15 << shift)) | ((index & 15) << shift));
  } else if (bits == 1) {
    int shift = 7 - (x & 7);
    row[x >> 3] = static_cast<std::uint8_t>((row[x >> 3] & ~(1 << shift)) | ((index & 1) << shift));
  }
}

// Writes colour c as pixel x of a row of the given layout (palette formats through nearest).
void PutPixel(std::uint8_t* row, int x, int bits, bool custom, const std::uint32_t masks[3],
              const NearestColor* nearest, Rgb c) {
  if (bits <= 8) {
    SetIndex(row, x, bits, nearest->Find(c));
  } else if (bits == 16) {
    std::uint32_t v = Pack(c.r, masks[0]) | Pack(c.g, masks[1]) | Pack(c.b, masks[2]);
    row[2 * x] = static_cast<std::uint8_t>(v);
    row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
  } else if (bits == 24) {
    row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
  } else if (custom) {
    std::uint32_t v = Pack(c.r, masks[0]) | Pack(c.g, masks[1]) | Pack(c.b, masks[2]);
    std::memcpy(row + 4 * x, &v, 4);
  } else {
    row[4 * x] = c.b, row[4 * x + 1] = c.g, row[4 * x + 2] = c.r, row[4 * x + 3] = 0;
  }
}

// The palette a new image of a palette format starts with.
std::vector<TRGBQuad> DefaultPalette(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf1bit: return {{0, 0, 0, 0}, {255, 255, 255, 0}};
    case TPixelFormat::pf4bit: return SystemPalette16();
    case TPixelFormat::pf8bit: return HalftonePalette256();
    default: return {};
  }
}

// The nearest-colour search of a palette format's default palette, built once: building one
// visits every palette entry for each of its 4096 cells, which costs far more than converting a
// small image.
const NearestColor& DefaultNearestColor(TPixelFormat format) {
  static const NearestColor one_bit(DefaultPalette(TPixelFormat::pf1bit));
  static const NearestColor four_bit(DefaultPalette(TPixelFormat::pf4bit));
  static const NearestColor eight_bit(DefaultPalette(TPixelFormat::pf8bit));
  switch (format) {
    case TPixelFormat::pf1bit: return one_bit;
    case TPixelFormat::pf4bit: return four_bit;
    default: return eight_bit;
  }
}

// File information that describes a buffer of the given format (16 bits is 5-6-5 bit fields).
void ResetDibFor(TPixelFormat format, TDibInfo& dib) {
  dib.core_header = false;
  dib.color_table.clear();
  dib.retained_file.clear();
  dib.colors_used = 0;
  dib.colors_important = 0;
  dib.compression = format == TPixelFormat::pf16bit ? 3 : 0;
  DefaultMasks(format, 16, dib.masks);
  if (format != TPixelFormat::pf16bit) std::fill(dib.masks, dib.masks + 3, 0);
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

namespace {

// The file information without the retained file bytes, which no changed image keeps.
TDibInfo WithoutRetainedFile(const TDibInfo& dib) {
  TDibInfo copy;
  copy.core_header = dib.core_header;
  copy.compression = dib.compression;
  std::copy(dib.masks, dib.masks + 3, copy.masks);
  copy.x_pels_per_meter = dib.x_pels_per_meter;
  copy.y_pels_per_meter = dib.y_pels_per_meter;
  copy.colors_used = dib.colors_used;
  copy.colors_important = dib.colors_important;
  copy.color_table = dib.color_table;
  return copy;
}

}  // namespace

TBitmap::Data& TBitmap::Unshare(bool keep_retained_file) {
  // shared_ptr counts atomically. When this image is the last user, the acquire fence pairs with
  // the release decrement of the copy that went away on another thread, so its last reads of
  // the buffer happen before our writes.
  if (data_.use_count() == 1) {
    std::atomic_thread_fence(std::memory_order_acquire);
    return *data_;
  }
  try {
    auto copy = std::make_shared<Data>();
    copy->width = data_->width;
    copy->height = data_->height;
    copy->format = data_->format;
    copy->bits = data_->bits;
    copy->top_down = data_->top_down;
    copy->pixels = data_->pixels;
    copy->palette = data_->palette;
    copy->dib = keep_retained_file ? data_->dib : WithoutRetainedFile(data_->dib);
    data_ = std::move(copy);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  return *data_;
}

TBitmap::Data& TBitmap::Mutable() {
  Data& data = Unshare(false);
  data.dib.retained_file.clear();
  data.dib.colors_used = 0;
  data.dib.colors_important = 0;
  return data;
}

void TBitmap::Replace(TPixelBuffer pixels, int width, int height, TPixelFormat format, int bits,
                      std::vector<TRGBQuad> palette, bool reset_dib) {
  // Everything that can fail is done before the image changes.
  std::shared_ptr<Data> fresh;
  try {
    fresh = std::make_shared<Data>();
    fresh->dib = WithoutRetainedFile(data_->dib);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  fresh->width = width;
  fresh->height = height;
  fresh->format = format;
  fresh->bits = bits;
  fresh->top_down = data_->top_down;
  fresh->pixels = std::move(pixels);
  fresh->palette = std::move(palette);
  fresh->dib.colors_used = 0;
  fresh->dib.colors_important = 0;
  if (reset_dib) ResetDibFor(format, fresh->dib);
  data_ = std::move(fresh);
}

TDibInfo& TBitmap::MutableDibInfo() { return Unshare(true).dib; }

bool TBitmap::Transparent() const { return data_->transparent; }
TRGBQuad TBitmap::TransparentColor() const { return data_->transparent_color; }

void TBitmap::SetTransparent(bool transparent, TRGBQuad color) {
  // A property of the picture, not of its pixels: it keeps any retained file bytes.
  Data& data = Unshare(true);
  data.transparent = transparent;
  data.transparent_color = transparent ? color : TRGBQuad{};
}

std::uint8_t* TBitmap::Bits() { return Mutable().pixels.data(); }
const std::uint8_t* TBitmap::Bits() const { return data_->pixels.data(); }
std::size_t TBitmap::BitsSize() const { return data_->pixels.size(); }

const std::uint8_t* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= data_->height || data_->pixels.empty())
    throw EInvalidGraphicOperation(Tr(messages::kScanLineOutOfRange));
  std::size_t row = RowSize();
  std::size_t index = data_->top_down ? static_cast<std::size_t>(y)
                                      : static_cast<std::size_t>(data_->height - 1 - y);
  return data_->pixels.data() + index * row;
}

std::uint8_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= data_->height || data_->pixels.empty())
    throw EInvalidGraphicOperation(Tr(messages::kScanLineOutOfRange));
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
  fresh->palette = DefaultPalette(fresh->format);
  ResetDibFor(fresh->format, fresh->dib);
  if (fresh->format == TPixelFormat::pfCustom) {
    fresh->dib.compression = data_->dib.compression;
    std::copy(data_->dib.masks, data_->dib.masks + 3, fresh->dib.masks);
  }
  data_ = std::move(fresh);
}

void TBitmap::Allocate(int width, int height, TPixelFormat format, bool top_down, int custom_bits) {
  int bits = format == TPixelFormat::pfCustom ? custom_bits : qv::BitsPerPixel(format);
  if (format == TPixelFormat::pfCustom && bits != 16 && bits != 32)
    throw EInvalidGraphicOperation(Tr(messages::kInvalidPixelFormat));
  auto fresh = std::make_shared<Data>();
  fresh->width = std::max(width, 0);
  fresh->height = std::max(height, 0);
  fresh->format = format;
  fresh->bits = bits;
  fresh->top_down = top_down;
  fresh->palette = DefaultPalette(format);
  ResetDibFor(format, fresh->dib);
  if (fresh->width > 0 && fresh->height > 0)
    fresh->pixels = NewBuffer(fresh->width, fresh->height, bits);
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
  TPixelBuffer pixels;
  if (width > 0 && height > 0) {
    pixels = NewBuffer(width, height, bits);
    std::size_t new_row = RowSizeFor(width, bits);
    // One white row, copied into every row; then the old pixels over the top-left corner.
    std::vector<std::uint8_t> white_row(new_row, 0);
    std::uint32_t masks[3];
    BufferMasks(old.format, bits, old.dib, masks);
    std::unique_ptr<NearestColor> nearest;
    if (bits <= 8) {
      if (old.palette.empty()) {
        // No colours: the highest index stands for white, as in the default palettes.
        for (int x = 0; x < width; ++x)
          SetIndex(white_row.data(), x, bits, static_cast<std::uint8_t>((1u << bits) - 1));
      } else {
        nearest = std::make_unique<NearestColor>(old.palette);
      }
    }
    if (bits > 8 || nearest) {
      bool custom = old.format == TPixelFormat::pfCustom;
      for (int x = 0; x < width; ++x)
        PutPixel(white_row.data(), x, bits, custom, masks, nearest.get(), {255, 255, 255});
    }
    for (int y = 0; y < height; ++y)
      std::memcpy(pixels.data() + static_cast<std::size_t>(y) * new_row, white_row.data(), new_row);
    int copy_width = std::min(width, old.width);
    int copy_height = std::min(height, old.height);
    if (!old.pixels.empty() && copy_width > 0 && copy_height > 0) {
      std::size_t old_row = RowSizeFor(old.width, bits);
      std::size_t copy_bits = static_cast<std::size_t>(copy_width) * static_cast<std::size_t>(bits);
      for (int y = 0; y < copy_height; ++y) {
        // Picture row y in both buffers; the new buffer keeps the old memory order.
        const std::uint8_t* src =
            old.pixels.data() +
            static_cast<std::size_t>(old.top_down ? y : old.height - 1 - y) * old_row;
        std::uint8_t* dst =
            pixels.data() + static_cast<std::size_t>(old.top_down ? y : height - 1 - y) * new_row;
        std::memcpy(dst, src, copy_bits / 8);
        for (std::size_t b = copy_bits / 8 * 8; b < copy_bits; ++b) {
          std::size_t byte = b / 8;
          int shift = 7 - static_cast<int>(b % 8);
          dst[byte] =
              static_cast<std::uint8_t>((dst[byte] & ~(1 << shift)) | (src[byte] & (1 << shift)));
        }
      }
    }
  }
  Replace(std::move(pixels), width, height, old.format, bits, old.palette, false);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == TPixelFormat::pfCustom)
    throw EInvalidGraphicOperation(Tr(messages::kInvalidPixelFormat));
  if (format == data_->format) return;
  const Data& old = *data_;
  int bits = qv::BitsPerPixel(format);
  std::vector<TRGBQuad> palette = DefaultPalette(format);
  TPixelBuffer pixels;
  if (!old.pixels.empty()) {
    pixels = NewBuffer(old.width, old.height, bits);
    PixelReader reader(old.format, old.bits, old.palette, old.dib);
    const NearestColor* nearest = bits <= 8 ? &DefaultNearestColor(format) : nullptr;
    std::size_t old_row = RowSizeFor(old.width, old.bits);
    std::size_t new_row = RowSizeFor(old.width, bits);
    std::uint32_t masks[3];
    DefaultMasks(format, bits, masks);
    for (int y = 0; y < old.height; ++y) {
      // Both buffers keep the old memory order, so memory row y maps to memory row y.
      const std::uint8_t* src = old.pixels.data() + static_cast<std::size_t>(y) * old_row;
      std::uint8_t* dst = pixels.data() + static_cast<std::size_t>(y) * new_row;
      for (int x = 0; x < old.width; ++x)
        PutPixel(dst, x, bits, false, masks, nearest, reader.Get(src, x));
    }
  }
  Replace(std::move(pixels), old.width, old.height, format, bits, std::move(palette), true);
}

}  // namespace qv
