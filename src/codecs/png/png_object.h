// TPNGObject: a PNG image as an ordered list of chunk objects, read from and written to streams.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "codecs/png/png_chunks.h"
#include "codecs/png/png_shared.h"

namespace qv {

class TBitmap;
class TStream;

// The chunks of one PNG in file order; owns them.
class TPNGList {
 public:
  std::size_t Count() const { return items_.size(); }
  TChunk& Item(std::size_t index) const { return *items_[index]; }
  TChunk& Add(std::unique_ptr<TChunk> chunk);
  // Puts the chunk before the one at index (at the end when index is Count()).
  TChunk& Insert(std::size_t index, std::unique_ptr<TChunk> chunk);
  void Clear() { items_.clear(); }
  // The first chunk of class T, or nullptr.
  template <class T>
  T* Find() const {
    for (const auto& chunk : items_)
      if (auto* found = dynamic_cast<T*>(chunk.get())) return found;
    return nullptr;
  }

 private:
  std::vector<std::unique_ptr<TChunk>> items_;
};

// How a loaded image is transparent.
enum class TPngTransparency { kNone, kBit, kPartial };

// Filter set bits: bit n for filter type n.
inline constexpr std::uint8_t kPngFilterSetNone = 1 << 0;
inline constexpr std::uint8_t kPngFilterSetSub = 1 << 1;
inline constexpr std::uint8_t kPngFilterSetUp = 1 << 2;
inline constexpr std::uint8_t kPngFilterSetAverage = 1 << 3;
inline constexpr std::uint8_t kPngFilterSetPaeth = 1 << 4;
inline constexpr std::uint8_t kPngFilterSetAll = 0x1F;

// How the encoder picks one filter of the set for a row: the row score (the most bytes equal to
// one of the two before them), or the smallest sum of the filtered bytes taken as signed
// distances from zero (libpng's adaptive rule).
enum class TPngFilterChoice { kRowScore, kSmallestSum };

// Converts count pixels of 16-bit colour samples as a PNG row holds them (big-endian red, green,
// blue, and alpha for colour type 6) into blue, green, red bytes. Called while the image data is
// decoded, so it must not throw.
using TPngDeepRowConverter =
    std::function<void(const std::uint8_t* samples, std::uint8_t* bgr, std::size_t count)>;

// Takes the decoded rows of a picture top to bottom as 24-bit pixels (blue, green, red): count
// rows, step bytes apart. Called while the image data is decoded; it may throw, which ends the
// reading.
using TPngRowSink = std::function<void(const std::uint8_t* rows, std::ptrdiff_t step, int count)>;

// What reading does with the colours of a file that carries an ICC profile.
struct TPngProfileUse {
  // The samples stay as stored: gAMA is not applied (the PNG standard puts the profile before
  // gAMA, and the caller transforms or keeps the samples with the profile).
  bool raw_samples = false;
  // 16-bit colour rows (colour types 2 and 6) go through this instead of keeping each sample's
  // high byte.
  TPngDeepRowConverter deep_rows;
};

class TPNGObject {
 public:
  TPNGObject();
  TPNGObject(const TPNGObject&) = delete;
  TPNGObject& operator=(const TPNGObject&) = delete;

  TPNGList& Chunks() { return chunks_; }
  const TPNGList& Chunks() const { return chunks_; }
  // Empty exactly when there are no chunks.
  bool Empty() const { return chunks_.Count() == 0; }
  // Removes every chunk and sets both gamma tables to the identity.
  void Clear();

  // The first chunk as header; throws EPNGHeaderNotPresent when it is not a TChunkIHDR.
  TChunkIHDR& Header() const;
  // The header's size, 0 without a header.
  int Width() const;
  int Height() const;
  // Always throw EPngError: a PNG is resized by assigning it a resized bitmap.
  void SetWidth(int width);
  void SetHeight(int height);

  // Filters the encoder may choose from (bit n for type n); default {Sub}.
  std::uint8_t Filters() const { return filters_; }
  void SetFilters(std::uint8_t filters) { filters_ = filters & kPngFilterSetAll; }
  // The rule that picks a filter when the set has more than one; default the row score.
  TPngFilterChoice FilterChoice() const { return filter_choice_; }
  void SetFilterChoice(TPngFilterChoice choice) { filter_choice_ = choice; }
  // zlib level 0..9 (values beyond are clamped); default 7.
  int CompressionLevel() const { return compression_level_; }
  void SetCompressionLevel(int level);
  // 0 none, 1 Adam7; set from the file on reading, used on writing.
  int InterlaceMethod() const { return interlace_method_; }
  void SetInterlaceMethod(int method) { interlace_method_ = method == 1 ? 1 : 0; }
  // Size of the deflate output buffer and largest IDAT written; raised to at least 65535.
  std::size_t MaxIdatSize() const { return max_idat_size_; }
  void SetMaxIdatSize(std::size_t size);

  // Decoding gamma (applied when reading) and its inverse (applied when writing).
  std::array<std::uint8_t, 256>& GammaTable() { return gamma_table_; }
  const std::array<std::uint8_t, 256>& GammaTable() const { return gamma_table_; }
  std::array<std::uint8_t, 256>& InverseGammaTable() { return inverse_table_; }
  const std::array<std::uint8_t, 256>& InverseGammaTable() const { return inverse_table_; }

  // Replaces every chunk with IHDR, PLTE (below 16 bits), tRNS (when transparent_color is
  // given), IDAT and IEND made from image. 16- and 32-bit images become 24-bit colour.
  void AssignBitmap(const TBitmap& image, const TRGBQuad* transparent_color = nullptr);
  // Copies source's chunks and settings.
  void Assign(const TPNGObject& source);
  // Gives image the decoded pixels at the internal image's 1, 4, 8 or 24 bits per pixel, with
  // the colour table as palette; alpha is dropped. Throws EPNGHeaderNotPresent without header.
  void AssignTo(TBitmap& image) const;

  // Transparency mode of the loaded image and, for bit transparency, the transparent colour.
  TPngTransparency Transparency() const;
  TRGBQuad TransparentColor() const;

  // Writes the signature and every chunk in list order.
  void SaveToStream(TStream& stream) const;
  void SaveToFile(const std::string& path) const;
  // Replaces the chunks with those of one PNG read from the stream's position. On failure the
  // chunks read so far stay in the list and the exception propagates.
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& path);

  // Asked once while a file is read, before its palette or image data, when an iCCP chunk came
  // before them: with the chunk's profile (inflated; empty when it cannot be) and the header.
  // What it returns applies to the palette and the image data. Without it (or without an iCCP
  // chunk) the file is read as it always was.
  std::function<TPngProfileUse(const std::vector<std::uint8_t>& profile, const TChunkIHDR& header)>
      OnProfile;
  // Asked once while a file that is not interlaced is read, at its image data (after its palette
  // and OnProfile): a sink it returns takes every row of the picture, in order, as the rows are
  // made, instead of the internal image; indexed pixels go through the colour table, and rows the
  // data does not reach come as an all-zero row shows. The internal image then holds one row
  // only and AssignTo refuses it (std::logic_error). Returning no sink reads the file as usual.
  std::function<TPngRowSink(const TChunkIHDR& header)> OnRows;
  // The converter of 16-bit colour rows the file's profile asked for, or none (for the decoder).
  const TPngDeepRowConverter& DeepRowConverter() const { return deep_rows_; }

 private:
  // Asks OnProfile about the file's iCCP chunk read so far, if any, and applies the answer.
  void UseProfile();
  TPNGList chunks_;
  std::uint8_t filters_ = kPngFilterSetSub;
  TPngFilterChoice filter_choice_ = TPngFilterChoice::kRowScore;
  int compression_level_ = 7;
  int interlace_method_ = 0;
  std::size_t max_idat_size_ = kDefaultMaxIdatSize;
  std::array<std::uint8_t, 256> gamma_table_{};
  std::array<std::uint8_t, 256> inverse_table_{};
  TPngDeepRowConverter deep_rows_;
};

}  // namespace qv
