// Decoding the run-length pixel data of BMP files (RLE8 and RLE4) into palette indices.
#include "codecs/bmp/bmp_rle_decoder.h"

#include <cstddef>

#include "runtime/exceptions.h"
#include "runtime/messages.h"
#include "runtime/translation.h"

namespace qv {

namespace {

// The position of the decoder in the picture and the bytes still to read.
class RleCursor {
 public:
  RleCursor(std::span<const std::uint8_t> data, int width, int height,
            std::span<std::uint8_t> indices)
      : data_(data), width_(width), height_(height), indices_(indices) {}

  bool AtEnd() const { return position_ >= data_.size(); }
  std::size_t Left() const { return data_.size() - position_; }
  std::uint8_t Next() {
    if (AtEnd()) throw EReadError();
    return data_[position_++];
  }
  void Skip(std::size_t count) {
    if (count > Left()) throw EReadError();
    position_ += count;
  }
  std::uint8_t At(std::size_t offset) const { return data_[position_ + offset]; }

  bool PastTop() const { return y_ >= height_; }
  // Room for count more pixels in the current row, else the run is malformed.
  void Claim(int count) {
    if (count > width_ - x_) throw EInvalidGraphic(Tr(messages::kInvalidBitmap));
  }
  void Put(std::uint8_t index) {
    indices_[static_cast<std::size_t>(y_) * static_cast<std::size_t>(width_) +
             static_cast<std::size_t>(x_)] = index;
    ++x_;
  }
  void EndOfLine() { x_ = 0, ++y_; }
  void Move(int dx, int dy) {
    y_ += dy;
    if (PastTop()) return;
    if (dx > width_ - x_) throw EInvalidGraphic(Tr(messages::kInvalidBitmap));
    x_ += dx;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t position_ = 0;
  int width_, height_;
  int x_ = 0, y_ = 0;
  std::span<std::uint8_t> indices_;
};

}  // namespace

void DecodeBmpRle(std::span<const std::uint8_t> data, TRleKind kind, int width, int height,
                  std::span<std::uint8_t> indices) {
  if (width <= 0 || height <= 0) return;
  Assert(indices.size() >= static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
         "bmp_rle_decoder", __LINE__);
  RleCursor cursor(data, width, height, indices);
  const bool rle4 = kind == TRleKind::kRle4;
  while (!cursor.AtEnd() && !cursor.PastTop()) {
    int count = cursor.Next();
    std::uint8_t value = cursor.Next();
    if (count > 0) {
      // Encoded run: count pixels of one index (RLE4: the two nibbles alternate).
      cursor.Claim(count);
      for (int i = 0; i < count; ++i)
        cursor.Put(rle4 ? static_cast<std::uint8_t>((i & 1) ? value & 15 : value >> 4) : value);
      continue;
    }
    switch (value) {
      case 0: cursor.EndOfLine(); break;
      case 1: return;  // end of bitmap
      case 2: {
        int dx = cursor.Next();
        int dy = cursor.Next();
        cursor.Move(dx, dy);
        break;
      }
      default: {
        // Absolute run of value pixels, its bytes padded to a 16-bit boundary.
        int pixels = value;
        std::size_t bytes =
            rle4 ? (static_cast<std::size_t>(pixels) + 1) / 2 : static_cast<std::size_t>(pixels);
        if (bytes > cursor.Left()) throw EReadError();
        cursor.Claim(pixels);
        for (int i = 0; i < pixels; ++i) {
          std::uint8_t byte =
              cursor.At(rle4 ? static_cast<std::size_t>(i / 2) : static_cast<std::size_t>(i));
          cursor.Put(rle4 ? static_cast<std::uint8_t>((i & 1) ? byte & 15 : byte >> 4) : byte);
        }
        cursor.Skip(bytes);
        // The pad byte carries nothing; data may end without it.
        if ((bytes & 1) && !cursor.AtEnd()) cursor.Skip(1);
        break;
      }
    }
  }
}

}  // namespace qv
