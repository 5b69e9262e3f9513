// EXIF blocks through libexif. No callback of ours is installed in libexif, so nothing can
// unwind through its frames; every libexif object is owned by a handle that releases it.
#include "codecs/jpeg/exif_block.h"

#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace qv {

namespace {

constexpr std::uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

struct ExifDataRelease {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataRelease>;

// The block loaded as it stands: libexif's repairs (adding the tags the standard asks for) and
// its dropping of unknown tags are switched off, so a block written back keeps what it held.
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

// Sets a SHORT or LONG entry with one or more components to value; other formats stay.
void SetNumber(ExifData* data, ExifIfd ifd, ExifTag tag, unsigned value) {
  ExifEntry* entry = exif_content_get_entry(data->ifd[ifd], tag);
  if (!entry || !entry->data || entry->components < 1) return;
  ExifByteOrder order = exif_data_get_byte_order(data);
  if (entry->format == EXIF_FORMAT_SHORT && entry->size >= 2 && value <= 0xFFFF)
    exif_set_short(entry->data, order, static_cast<ExifShort>(value));
  else if (entry->format == EXIF_FORMAT_LONG && entry->size >= 4)
    exif_set_long(entry->data, order, static_cast<ExifLong>(value));
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

std::vector<std::uint8_t> EditExif(const std::vector<std::uint8_t>& exif, bool orientation_reset,
                                   int width, int height) {
  ExifDataPtr data = LoadExif(exif);
  if (!data) return orientation_reset ? std::vector<std::uint8_t>() : exif;
  if (orientation_reset) SetNumber(data.get(), EXIF_IFD_0, EXIF_TAG_ORIENTATION, 1);
  const auto w = static_cast<unsigned>(width), h = static_cast<unsigned>(height);
  SetNumber(data.get(), EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, w);
  SetNumber(data.get(), EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION, h);
  SetNumber(data.get(), EXIF_IFD_0, EXIF_TAG_IMAGE_WIDTH, w);
  SetNumber(data.get(), EXIF_IFD_0, EXIF_TAG_IMAGE_LENGTH, h);

  unsigned char* saved = nullptr;
  unsigned int size = 0;
  exif_data_save_data(data.get(), &saved, &size);
  std::unique_ptr<unsigned char, decltype(&std::free)> saved_owner(saved, &std::free);
  if (!saved || size <= sizeof kExifHeader ||
      std::memcmp(saved, kExifHeader, sizeof kExifHeader) != 0)
    return orientation_reset ? std::vector<std::uint8_t>() : exif;
  return std::vector<std::uint8_t>(saved + sizeof kExifHeader, saved + size);
}

}  // namespace qv
