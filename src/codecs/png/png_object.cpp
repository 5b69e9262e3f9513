// TPNGObject: chunk list, settings, the chunk loop that reads a PNG, and writing it back.
#include "codecs/png/png_object.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <typeinfo>

#include "codecs/png/png_decoder.h"
#include "codecs/png/png_encoder.h"
#include "codecs/png/png_exceptions.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"

namespace qv {

TChunk& TPNGList::Add(std::unique_ptr<TChunk> chunk) {
  items_.push_back(std::move(chunk));
  return *items_.back();
}

TChunk& TPNGList::Insert(std::size_t index, std::unique_ptr<TChunk> chunk) {
  if (index > items_.size()) index = items_.size();
  return **items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), std::move(chunk));
}

TPNGObject::TPNGObject() { Clear(); }

void TPNGObject::Clear() {
  chunks_.Clear();
  deep_rows_ = nullptr;
  std::iota(gamma_table_.begin(), gamma_table_.end(), 0);
  std::iota(inverse_table_.begin(), inverse_table_.end(), 0);
}

TChunkIHDR& TPNGObject::Header() const {
  auto* header = chunks_.Count() > 0 ? dynamic_cast<TChunkIHDR*>(&chunks_.Item(0)) : nullptr;
  if (header == nullptr) throw EPNGHeaderNotPresent();
  return *header;
}

int TPNGObject::Width() const {
  auto* header = chunks_.Count() > 0 ? dynamic_cast<TChunkIHDR*>(&chunks_.Item(0)) : nullptr;
  return header ? static_cast<int>(header->width) : 0;
}

int TPNGObject::Height() const {
  auto* header = chunks_.Count() > 0 ? dynamic_cast<TChunkIHDR*>(&chunks_.Item(0)) : nullptr;
  return header ? static_cast<int>(header->height) : 0;
}

void TPNGObject::SetWidth(int) { throw EPngError(); }
void TPNGObject::SetHeight(int) { throw EPngError(); }

void TPNGObject::SetCompressionLevel(int level) { compression_level_ = std::clamp(level, 0, 9); }

void TPNGObject::SetMaxIdatSize(std::size_t size) {
  max_idat_size_ = std::max(size, kDefaultMaxIdatSize);
}

void TPNGObject::AssignBitmap(const TBitmap& image, const TRGBQuad* transparent_color) {
  BuildChunksFromBitmap(*this, image, transparent_color);
}

void TPNGObject::Assign(const TPNGObject& source) {
  if (&source == this) return;
  Clear();
  filters_ = source.filters_;
  filter_choice_ = source.filter_choice_;
  compression_level_ = source.compression_level_;
  interlace_method_ = source.interlace_method_;
  max_idat_size_ = source.max_idat_size_;
  gamma_table_ = source.gamma_table_;
  inverse_table_ = source.inverse_table_;
  for (std::size_t i = 0; i < source.chunks_.Count(); ++i)
    chunks_.Add(source.chunks_.Item(i).Clone(*this));
}

void TPNGObject::AssignTo(TBitmap& image) const { CopyInternalImage(Header(), image); }

TPngTransparency TPNGObject::Transparency() const {
  const TChunkIHDR& header = Header();
  const TChunktRNS* trns = chunks_.Find<TChunktRNS>();
  switch (header.colour_type) {
    case 0:
    case 2: return trns ? TPngTransparency::kBit : TPngTransparency::kNone;
    case 3:
      if (!trns) return TPngTransparency::kNone;
      return trns->bit_transparency ? TPngTransparency::kBit : TPngTransparency::kPartial;
    default: return TPngTransparency::kPartial;
  }
}

TRGBQuad TPNGObject::TransparentColor() const {
  const TChunkIHDR& header = Header();
  const TChunktRNS* trns = chunks_.Find<TChunktRNS>();
  if (!trns) return TRGBQuad{};
  const auto& t = trns->table;
  switch (header.colour_type) {
    case 2: return TRGBQuad{t[5], t[3], t[1], 0};
    case 3: {
      for (std::size_t i = 0; i < trns->Data().size(); ++i)
        if (t[i] == 0) return header.image.colors[i];
      return TRGBQuad{};
    }
    case 0: {
      // The colour the transparent grey sample has in the decoded image.
      int sample = (t[0] << 8) | t[1];
      int index = header.bit_depth == 16  ? sample >> 8
                  : header.bit_depth == 2 ? (sample & 3) * 5
                                          : sample & ((1 << header.bit_depth) - 1);
      return header.image.colors[static_cast<std::size_t>(index)];
    }
    default: return TRGBQuad{};
  }
}

void TPNGObject::SaveToStream(TStream& stream) const {
  Header();  // a file without a header would not be a PNG
  stream.WriteBuffer(kPngSignature, sizeof kPngSignature);
  for (std::size_t i = 0; i < chunks_.Count(); ++i) chunks_.Item(i).SaveToStream(stream);
}

void TPNGObject::SaveToFile(const std::string& path) const {
  TSafeFileStream file(path);
  SaveToStream(file);
  file.Commit();
}

void TPNGObject::LoadFromStream(TStream& stream) {
  Clear();
  std::uint8_t signature[8];
  if (stream.ReadUpTo(signature, 8) < 8 || std::memcmp(signature, kPngSignature, 8) != 0)
    throw EPNGInvalidFileHeader();
  bool image_read = false;
  bool profile_used = false;
  for (int count = 1;; ++count) {
    std::uint8_t head[8];
    if (stream.ReadUpTo(head, 8) < 8) throw EPngUnexpectedEnd();
    std::uint32_t length = ReadBigEndian32(head);
    char type[4];
    std::memcpy(type, head + 4, 4);
    if (count == 1 && std::memcmp(type, "IHDR", 4) != 0) throw EPNGIHDRNotFirst();
    const bool is_idat = std::memcmp(type, "IDAT", 4) == 0;
    if ((is_idat && image_read) || std::memcmp(type, "cHRM", 4) == 0) {
      stream.Seek(std::int64_t{length} + 4, SeekOrigin::kCurrent);  // not kept, CRC unchecked
      continue;
    }
    // The palette and the image data are the first chunks that the profile changes, and the
    // PNG standard puts iCCP before both.
    if (!profile_used && (is_idat || std::memcmp(type, "PLTE", 4) == 0)) {
      profile_used = true;
      UseProfile();
    }
    TChunk& chunk = chunks_.Add(CreateChunk(*this, type));
    if (typeid(chunk) == typeid(TChunk) && (type[0] & 0x20) == 0) throw EPNGUnknownCriticalChunk();
    chunk.LoadFromStream(stream, length);
    if (is_idat) image_read = true;
    if (std::memcmp(type, "IEND", 4) == 0) break;
  }
  if (!image_read) throw EPNGNoImageData();
}

void TPNGObject::UseProfile() {
  if (!OnProfile) return;
  for (std::size_t i = 0; i < chunks_.Count(); ++i) {
    const TChunk& chunk = chunks_.Item(i);
    if (std::memcmp(chunk.Type(), "iCCP", 4) != 0) continue;
    TPngProfileUse use = OnProfile(IccpProfile(chunk.Data()), Header());
    if (use.raw_samples) {
      std::iota(gamma_table_.begin(), gamma_table_.end(), 0);
      std::iota(inverse_table_.begin(), inverse_table_.end(), 0);
    }
    deep_rows_ = std::move(use.deep_rows);
    return;
  }
}

void TPNGObject::LoadFromFile(const std::string& path) {
  TFileStream file(path);
  LoadFromStream(file);
}

}  // namespace qv
