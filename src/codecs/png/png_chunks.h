// The PNG chunk classes: the generic TChunk and one class per chunk type the object understands.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codecs/png/png_internal_image.h"

namespace qv {

class TPNGObject;
class TStream;
class TChunkIHDR;

// A chunk of a PNG file: 4-byte type and data, owned by a TPNGObject. The generic class keeps an
// unknown chunk's type and data unchanged.
class TChunk {
 public:
  TChunk(TPNGObject& owner, const char type[4]);
  virtual ~TChunk() = default;

  // The 4-letter chunk type ("IHDR", "tEXt", ...).
  std::string Name() const { return std::string(type_.data(), 4); }
  const char* Type() const { return type_.data(); }
  std::vector<std::uint8_t>& Data() { return data_; }
  const std::vector<std::uint8_t>& Data() const { return data_; }
  TPNGObject& Owner() const { return *owner_; }

  // Copies type and data (subclasses add their own fields).
  virtual void Assign(const TChunk& source);
  // A copy of this chunk belonging to owner.
  virtual std::unique_ptr<TChunk> Clone(TPNGObject& owner) const;
  // Reads length data bytes and the CRC after them; throws EPngInvalidCRC when the CRC differs
  // from that of type and data (a short read counts as a mismatch). Subclasses then parse.
  virtual void LoadFromStream(TStream& stream, std::uint32_t length);
  // Writes length, type, data and CRC (subclasses first rebuild their data).
  virtual void SaveToStream(TStream& stream);

 protected:
  // The owner's header chunk; throws EPNGHeaderNotPresent when the first chunk is not one.
  TChunkIHDR& Header() const;
  template <class T>
  std::unique_ptr<TChunk> CloneAs(TPNGObject& owner) const {
    auto copy = std::make_unique<T>(static_cast<const T&>(*this));
    copy->owner_ = &owner;
    return copy;
  }

  std::array<char, 5> type_{};
  std::vector<std::uint8_t> data_;

 private:
  TPNGObject* owner_;
};

// The header: size, bit depth, colour type, methods, and the decoded image.
class TChunkIHDR : public TChunk {
 public:
  explicit TChunkIHDR(TPNGObject& owner) : TChunk(owner, "IHDR") {}
  std::unique_ptr<TChunk> Clone(TPNGObject& owner) const override {
    return CloneAs<TChunkIHDR>(owner);
  }
  // Throws EPngInvalidIHDR (short, zero size, or a colour type and depth the PNG standard
  // forbids), EPNGSizeExceeds, EPNGUnknownCompression, EPNGUnknownInterlace; sets the owner's
  // interlace method and builds the all-zero internal image (EOutOfMemory beyond the limits),
  // of one row when the owner may hand the rows of this non-interlaced file on (OnRows).
  void LoadFromStream(TStream& stream, std::uint32_t length) override;
  // 13 bytes; a bit depth of 2 is written as 4 (the internal image holds 4 bits); the interlace
  // field is the owner's interlace method.
  void SaveToStream(TStream& stream) override;

  // Rebuilds the internal image for the colour type and depth (all zero); with hold_one_row it
  // holds one row only (TPngInternalImage::Build).
  void PrepareImage(bool hold_one_row = false);

  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint8_t bit_depth = 0;
  std::uint8_t colour_type = 0;
  std::uint8_t compression_method = 0;
  std::uint8_t filter_method = 0;
  std::uint8_t interlace_method = 0;
  TPngInternalImage image;
};

// The palette: its entries live in the header image's colour table.
class TChunkPLTE : public TChunk {
 public:
  explicit TChunkPLTE(TPNGObject& owner) : TChunk(owner, "PLTE") {}
  std::unique_ptr<TChunk> Clone(TPNGObject& owner) const override {
    return CloneAs<TChunkPLTE>(owner);
  }
  // Throws EPNGInvalidPalette unless the length is a multiple of 3 and at most 768.
  void LoadFromStream(TStream& stream, std::uint32_t length) override;
  // 3 x count bytes from the colour table, through the inverse gamma table.
  void SaveToStream(TStream& stream) override;
  int count = 0;
};

// Transparency: the values as given, padded with 255.
class TChunktRNS : public TChunk {
 public:
  explicit TChunktRNS(TPNGObject& owner) : TChunk(owner, "tRNS") { table.fill(255); }
  std::unique_ptr<TChunk> Clone(TPNGObject& owner) const override {
    return CloneAs<TChunktRNS>(owner);
  }
  // Throws EPNGInvalidPalette beyond 256 bytes.
  void LoadFromStream(TStream& stream, std::uint32_t length) override;
  // The first data-size bytes of the table.
  void SaveToStream(TStream& stream) override;
  std::array<std::uint8_t, 256> table{};
  bool bit_transparency = false;
};

// Gamma in 1/100000; a non-zero 4-byte value recomputes the owner's gamma tables.
class TChunkgAMA : public TChunk {
 public:
  explicit TChunkgAMA(TPNGObject& owner) : TChunk(owner, "gAMA") {}
  std::unique_ptr<TChunk> Clone(TPNGObject& owner) const override {
    return CloneAs<TChunkgAMA>(owner);
  }
  void LoadFromStream(TStream& stream, std::uint32_t length) override;
  std::uint32_t gamma = 0;
};

// The image data: loading decodes the whole image (all IDAT chunks that follow in a row), saving
// deflates the header's image into as many IDAT chunks as needed.
class TChunkIDAT : public TChunk {
 public:
  explicit TChunkIDAT(TPNGObject& owner) : TChunk(owner, "IDAT") {}
  std::unique_ptr<TChunk> Clone(TPNGObject& owner) const override {
    return CloneAs<TChunkIDAT>(owner);
  }
  void LoadFromStream(TStream& stream, std::uint32_t length) override;
  void SaveToStream(TStream& stream) override;
};

// Last-modification time (kept, not used).
class TChunktIME : public TChunk {
 public:
  explicit TChunktIME(TPNGObject& owner) : TChunk(owner, "tIME") {}
  std::unique_ptr<TChunk> Clone(TPNGObject& owner) const override {
    return CloneAs<TChunktIME>(owner);
  }
  // Parses the time when the length is 7; other lengths leave it zero.
  void LoadFromStream(TStream& stream, std::uint32_t length) override;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Keyword and text.
class TChunktEXt : public TChunk {
 public:
  explicit TChunktEXt(TPNGObject& owner) : TChunktEXt(owner, "tEXt") {}
  std::unique_ptr<TChunk> Clone(TPNGObject& owner) const override {
    return CloneAs<TChunktEXt>(owner);
  }
  // Over 2 bytes: keyword up to the first zero byte (the whole data without one), text after it.
  void LoadFromStream(TStream& stream, std::uint32_t length) override;
  std::string keyword;
  std::string text;

 protected:
  TChunktEXt(TPNGObject& owner, const char type[4]) : TChunk(owner, type) {}
};

// Compressed text: inflated up to kMaxPngTextBytes; broken or longer text stays empty.
class TChunkzTXt : public TChunktEXt {
 public:
  explicit TChunkzTXt(TPNGObject& owner) : TChunktEXt(owner, "zTXt") {}
  std::unique_ptr<TChunk> Clone(TPNGObject& owner) const override {
    return CloneAs<TChunkzTXt>(owner);
  }
  void LoadFromStream(TStream& stream, std::uint32_t length) override;
};

class TChunkIEND : public TChunk {
 public:
  explicit TChunkIEND(TPNGObject& owner) : TChunk(owner, "IEND") {}
  std::unique_ptr<TChunk> Clone(TPNGObject& owner) const override {
    return CloneAs<TChunkIEND>(owner);
  }
};

// The ICC profile an iCCP chunk's data holds (a name, its zero, compression method 0, then the
// deflated profile), inflated; empty when the data is not such or inflates to more than
// kMaxIccpBytes.
std::vector<std::uint8_t> IccpProfile(const std::vector<std::uint8_t>& data);

// The chunk-class registry: a type with a registered class gets an object of it, any other type
// a generic TChunk. Filled on first use with IEND, IHDR, IDAT, PLTE, gAMA, tRNS, tIME, tEXt, zTXt.
using TChunkFactory = std::unique_ptr<TChunk> (*)(TPNGObject& owner);
void RegisterChunkClass(const char type[4], TChunkFactory factory);
std::unique_ptr<TChunk> CreateChunk(TPNGObject& owner, const char type[4]);

}  // namespace qv
