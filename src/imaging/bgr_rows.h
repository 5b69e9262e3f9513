// A picture as top-down rows of 24-bit blue-green-red pixels, as encoders that take one buffer
// and a positive row stride want it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"

namespace qv {

class TBgrRows {
 public:
  // Borrows the image's own rows when it holds 24-bit rows top-down; otherwise holds a copy
  // converted to 24 bits (a palette looked up, a fourth byte dropped) and put top-down. The image
  // must outlive this object and stay unchanged while it is used. Throws EOutOfMemory when the
  // copy cannot be had.
  explicit TBgrRows(const TBitmap& image);
  TBgrRows(const TBgrRows&) = delete;
  TBgrRows& operator=(const TBgrRows&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // The top row; row y starts Stride() * y bytes after it.
  const std::uint8_t* Data() const { return data_; }
  std::size_t Stride() const { return stride_; }

 private:
  int width_ = 0;
  int height_ = 0;
  const std::uint8_t* data_ = nullptr;
  std::size_t stride_ = 0;
  TBitmap converted_;                  // a 24-bit copy of an image of another format
  std::vector<std::uint8_t> flipped_;  // the rows of a bottom-up image, top-down
};

}  // namespace qv
