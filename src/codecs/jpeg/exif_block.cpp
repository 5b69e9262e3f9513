// EXIF blocks: the orientation read through libexif, and edits made in place on the block's own
// bytes (TIFF 6.0's layout: a header naming the byte order and the first IFD, then IFDs of
// 12-byte entries, each a tag, a format, a count and either the value or the offset of it).
//
// Rebuilding a block moves its data, and camera maker notes point into themselves and into the
// block by absolute offsets that no library knows how to move, so the block is never rebuilt:
// the values that must change are written where they stand, the thumbnail is dropped by cutting
// the link to IFD1, and a link that would make an IFD be read twice is taken out of its IFD by
// moving the entries after it up (the data they point to stays where it is).
#include "codecs/jpeg/exif_block.h"

#include <libexif/exif-data.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

namespace qv {

namespace {

constexpr std::uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

struct ExifDataRelease {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataRelease>;

// The block loaded as it stands: libexif's repairs (adding the tags the standard asks for) and
// its dropping of unknown tags are switched off. No callback of ours is installed in libexif,
// so nothing can unwind through its frames.
ExifDataPtr LoadExif(const std::vector<std::uint8_t>& exif) {
  if (exif.size() < 8) return nullptr;
  ExifDataPtr data(exif_data_new());
  if (!data) return nullptr;
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
  std::vector<std::uint8_t> with_header(kExifHeader, kExifHeader + sizeof kExifHeader);
  with_header.insert(with_header.end(), exif.begin(), exif.end());
  exif_data_load_data(data.get(), with_header.data(), static_cast<unsigned>(with_header.size()));
  if (!data->ifd[EXIF_IFD_0] || data->ifd[EXIF_IFD_0]->count == 0) return nullptr;
  return data;
}

constexpr std::uint16_t kOrientation = 0x0112;
constexpr std::uint16_t kImageWidth = 0x0100;
constexpr std::uint16_t kImageLength = 0x0101;
constexpr std::uint16_t kExifPointer = 0x8769;
constexpr std::uint16_t kGpsPointer = 0x8825;
constexpr std::uint16_t kInteropPointer = 0xA005;
constexpr std::uint16_t kPixelXDimension = 0xA002;
constexpr std::uint16_t kPixelYDimension = 0xA003;
constexpr std::uint16_t kShort = 3, kLong = 4, kIfdFormat = 13;
constexpr std::size_t kEntryBytes = 12;

enum class TIfdKind { kIfd0, kIfd1, kExif, kGps, kInterop };

// A block being edited: byte-order-aware reads and writes at offsets checked by the caller.
class TTiffBlock {
 public:
  explicit TTiffBlock(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  bool ReadHeader() {
    if (bytes_.size() < 8) return false;
    if (bytes_[0] == 'M' && bytes_[1] == 'M')
      big_endian_ = true;
    else if (!(bytes_[0] == 'I' && bytes_[1] == 'I'))
      return false;
    return U16(2) == 42;
  }
  std::size_t Size() const { return bytes_.size(); }
  std::uint16_t U16(std::size_t at) const {
    return big_endian_ ? static_cast<std::uint16_t>(bytes_[at] << 8 | bytes_[at + 1])
                       : static_cast<std::uint16_t>(bytes_[at + 1] << 8 | bytes_[at]);
  }
  std::uint32_t U32(std::size_t at) const {
    const std::uint32_t high = U16(big_endian_ ? at : at + 2);
    const std::uint32_t low = U16(big_endian_ ? at + 2 : at);
    return high << 16 | low;
  }
  void Put16(std::size_t at, std::uint32_t value) {
    const auto high = static_cast<std::uint8_t>(value >> 8), low = static_cast<std::uint8_t>(value);
    bytes_[at] = big_endian_ ? high : low;
    bytes_[at + 1] = big_endian_ ? low : high;
  }
  void Put32(std::size_t at, std::uint32_t value) {
    Put16(big_endian_ ? at : at + 2, value >> 16);
    Put16(big_endian_ ? at + 2 : at, value & 0xFFFF);
  }
  std::uint8_t* At(std::size_t at) { return bytes_.data() + at; }

 private:
  std::vector<std::uint8_t>& bytes_;
  bool big_endian_ = false;
};

// One IFD found in the block: where it is, its entry count, and whether the link to the next
// IFD after its entries is inside the block.
struct TIfd {
  std::size_t offset;
  TIfdKind kind;
  std::size_t count;
  bool has_link;
  std::size_t EntryAt(std::size_t index) const { return offset + 2 + index * kEntryBytes; }
  std::size_t LinkAt() const { return EntryAt(count); }
};

// The IFD at offset when its entries lie inside the block.
bool ReadIfd(const TTiffBlock& block, std::size_t offset, TIfdKind kind, TIfd& ifd) {
  if (offset < 8 || offset + 2 > block.Size()) return false;
  const std::size_t count = block.U16(offset);
  if (offset + 2 + count * kEntryBytes > block.Size()) return false;
  ifd = {offset, kind, count, offset + 2 + count * kEntryBytes + 4 <= block.Size()};
  return true;
}

// Writes value over a one-component SHORT or LONG entry; false when the entry is of another
// format or count, or a SHORT cannot hold the value.
bool SetNumber(TTiffBlock& block, std::size_t entry, std::uint32_t value) {
  if (block.U32(entry + 4) != 1) return false;
  const std::uint16_t format = block.U16(entry + 2);
  if (format == kShort && value <= 0xFFFF) {
    block.Put16(entry + 8, value);
    return true;
  }
  if (format == kLong) {
    block.Put32(entry + 8, value);
    return true;
  }
  return false;
}

// Takes entry index out of the IFD: the entries after it and the link move up one entry, and
// the entry's room that is left at the end is zeroed.
void RemoveEntry(TTiffBlock& block, TIfd& ifd, std::size_t index) {
  const std::size_t tail = (ifd.count - index - 1) * kEntryBytes + (ifd.has_link ? 4 : 0);
  std::memmove(block.At(ifd.EntryAt(index)), block.At(ifd.EntryAt(index + 1)), tail);
  std::memset(block.At(ifd.EntryAt(index) + tail), 0, kEntryBytes);
  --ifd.count;
  block.Put16(ifd.offset, static_cast<std::uint32_t>(ifd.count));
}

// The IFD a pointer entry of ifd leads to, by its tag.
bool PointsTo(TIfdKind kind, std::uint16_t tag, TIfdKind& target) {
  if (kind == TIfdKind::kIfd0 && tag == kExifPointer)
    target = TIfdKind::kExif;
  else if (kind == TIfdKind::kIfd0 && tag == kGpsPointer)
    target = TIfdKind::kGps;
  else if (kind == TIfdKind::kExif && tag == kInteropPointer)
    target = TIfdKind::kInterop;
  else
    return false;
  return true;
}

}  // namespace

int ExifOrientation(const std::vector<std::uint8_t>& exif) {
  ExifDataPtr data = LoadExif(exif);
  if (!data) return 0;
  ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (!entry || !entry->data || entry->format != EXIF_FORMAT_SHORT || entry->components != 1 ||
      entry->size < 2)
    return 0;
  int value = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
  return value >= 1 && value <= 8 ? value : 0;
}

TEditedExif EditExif(const std::vector<std::uint8_t>& exif, const TExifChanges& changes) {
  if (exif.size() > kMaxExifBytes) return {{}, kExifTooLarge};
  std::vector<std::uint8_t> bytes = exif;
  TTiffBlock block(bytes);
  TIfd ifd0;
  if (!block.ReadHeader() || !ReadIfd(block, block.U32(4), TIfdKind::kIfd0, ifd0) ||
      ifd0.count == 0 || !LoadExif(exif))
    return {{}, kExifNotTiff};

  // Every IFD reachable from IFD0, each once; the entries that lead to one already met.
  std::vector<TIfd> ifds = {ifd0};
  std::set<std::size_t> met = {ifd0.offset};
  std::vector<std::pair<std::size_t, std::size_t>> repeated;  // (IFD, entry index)
  bool cut_ifd1 = false;
  for (std::size_t i = 0; i < ifds.size(); ++i) {
    const TIfd ifd = ifds[i];
    for (std::size_t e = 0; e < ifd.count; ++e) {
      TIfdKind target_kind;
      const std::size_t entry = ifd.EntryAt(e);
      const std::uint16_t format = block.U16(entry + 2);
      if (!PointsTo(ifd.kind, block.U16(entry), target_kind) ||
          (format != kLong && format != kIfdFormat) || block.U32(entry + 4) != 1)
        continue;
      const std::size_t target = block.U32(entry + 8);
      TIfd found;
      if (met.count(target))
        repeated.emplace_back(i, e);
      else if (ReadIfd(block, target, target_kind, found) && met.insert(target).second)
        ifds.push_back(found);
    }
  }
  if (ifd0.has_link) {
    const std::size_t next = block.U32(ifd0.LinkAt());
    TIfd ifd1;
    if (met.count(next))
      cut_ifd1 = true;
    else if (next != 0 && ReadIfd(block, next, TIfdKind::kIfd1, ifd1) && met.insert(next).second)
      ifds.push_back(ifd1);
  }

  // Values first, while every entry is where the walk found it.
  bool orientation_reset = false;
  for (const TIfd& ifd : ifds) {
    for (std::size_t e = 0; e < ifd.count; ++e) {
      const std::size_t entry = ifd.EntryAt(e);
      const std::uint16_t tag = block.U16(entry);
      const auto width = static_cast<std::uint32_t>(changes.width);
      const auto height = static_cast<std::uint32_t>(changes.height);
      if (tag == kOrientation && changes.reset_orientation) {
        const bool set = SetNumber(block, entry, 1);
        if (ifd.kind == TIfdKind::kIfd0) orientation_reset = set;
      } else if (ifd.kind == TIfdKind::kIfd0 && changes.width > 0 &&
                 (tag == kImageWidth || tag == kImageLength)) {
        SetNumber(block, entry, tag == kImageWidth ? width : height);
      } else if (ifd.kind == TIfdKind::kExif && changes.width > 0 &&
                 (tag == kPixelXDimension || tag == kPixelYDimension)) {
        SetNumber(block, entry, tag == kPixelXDimension ? width : height);
      }
    }
  }
  if (changes.reset_orientation && !orientation_reset) return {{}, kExifOrientationFixed};
  if (ifd0.has_link && (cut_ifd1 || changes.drop_thumbnail)) block.Put32(ifd0.LinkAt(), 0);
  // Then the repeated links, the last entry of an IFD first so the others stay where they are.
  std::sort(repeated.rbegin(), repeated.rend());
  for (const auto& [index, entry] : repeated) RemoveEntry(block, ifds[index], entry);
  return {std::move(bytes), nullptr};
}

}  // namespace qv
