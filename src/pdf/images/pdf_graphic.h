// The pictures the PDF writer embeds: a JPEG held as its compressed bytes, or a Raster image.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "imaging/bitmap.h"

namespace qv {

class TStream;

// What the maker of JPEG bytes knows of them: the frame's pixel size and components, and whether
// its four-component samples are stored inverted (an Adobe marker).
struct TJpegFacts {
  int width = 0;
  int height = 0;
  int components = 0;
  bool adobe_inverted = false;
};

class TPdfGraphic {
 public:
  virtual ~TPdfGraphic() = default;
  virtual bool Empty() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // A copy of the picture (pixel and JPEG buffers are shared, not duplicated).
  virtual std::unique_ptr<TPdfGraphic> Clone() const = 0;
};

// A JPEG picture: the bytes it saves are the bytes it was given, unchanged.
class TPdfJpegGraphic : public TPdfGraphic {
 public:
  TPdfJpegGraphic() = default;
  // Takes the bytes of a JPEG file and reads its pixel size from the frame header; bytes that
  // hold no frame header fail with EInvalidGraphic.
  explicit TPdfJpegGraphic(std::vector<std::uint8_t> bytes);
  // Shares JPEG bytes whose facts their maker already knows (a JPEG image's compressed data), so
  // the frame header is not read again. Null or empty bytes make an empty picture; facts without
  // a size or components fail with EInvalidGraphic.
  TPdfJpegGraphic(std::shared_ptr<const std::vector<std::uint8_t>> bytes, const TJpegFacts &facts);

  bool Empty() const override { return !bytes_ || bytes_->empty(); }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  // Components of the frame: 1 grey, 3 colour, 4 CMYK (as the frame header says).
  int Components() const { return components_; }
  // Four components and an Adobe marker: the CMYK samples are stored inverted.
  bool AdobeInverted() const { return adobe_inverted_; }
  // The ICC profile of the JPEG's colours (a profile of Components() components), which its
  // image object names as its colour space; empty for the device colours.
  const std::vector<std::uint8_t> &IccProfile() const;
  void SetIccProfile(std::vector<std::uint8_t> profile);
  std::unique_ptr<TPdfGraphic> Clone() const override;
  // The JPEG bytes (empty for an empty picture).
  std::span<const std::uint8_t> Bytes() const;
  void SaveToStream(TStream &stream) const;

 private:
  void ReadFrame(std::span<const std::uint8_t> bytes);
  std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
  int width_ = 0;
  int height_ = 0;
  int components_ = 3;
  bool adobe_inverted_ = false;
  std::shared_ptr<const std::vector<std::uint8_t>> icc_profile_;
};

// A Raster image picture.
class TPdfBitmapGraphic : public TPdfGraphic {
 public:
  explicit TPdfBitmapGraphic(const TBitmap &bitmap) : bitmap_(bitmap) {}
  bool Empty() const override {
    return bitmap_.Empty() || bitmap_.Width() == 0 || bitmap_.Height() == 0;
  }
  int Width() const override { return bitmap_.Width(); }
  int Height() const override { return bitmap_.Height(); }
  std::unique_ptr<TPdfGraphic> Clone() const override {
    return std::make_unique<TPdfBitmapGraphic>(bitmap_);
  }
  const TBitmap &Bitmap() const { return bitmap_; }

 private:
  TBitmap bitmap_;
};

// What the frame header of JPEG bytes says.
struct TJpegFrameInfo {
  int width = 0;
  int height = 0;
  int components = 0;
  bool adobe = false;  // an Adobe (APP14) marker came before the frame
};

// Reads the first start-of-frame marker of JPEG bytes; false when none is found before the scan
// data or the end.
bool ReadJpegFrameInfo(std::span<const std::uint8_t> bytes, TJpegFrameInfo &info);

}  // namespace qv
