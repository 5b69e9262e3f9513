// When a photo was taken, from its EXIF block through libexif (no callback of ours is installed,
// so nothing unwinds through its frames).
#include "codecs/jpeg/exif_date.h"

#include <libexif/exif-data.h>

#include <cstdio>
#include <memory>
#include <string>

namespace qv {

namespace {

constexpr std::uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

struct ExifDataRelease {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};

}  // namespace

std::optional<std::tm> ExifDateTaken(const std::vector<std::uint8_t>& exif) {
  if (exif.size() < 8) return std::nullopt;
  std::unique_ptr<ExifData, ExifDataRelease> data(exif_data_new());
  if (!data) return std::nullopt;
  std::vector<std::uint8_t> with_header(kExifHeader, kExifHeader + sizeof kExifHeader);
  with_header.insert(with_header.end(), exif.begin(), exif.end());
  exif_data_load_data(data.get(), with_header.data(), static_cast<unsigned>(with_header.size()));
  ExifContent* sub_ifd = data->ifd[EXIF_IFD_EXIF];
  ExifEntry* entry =
      sub_ifd ? exif_content_get_entry(sub_ifd, EXIF_TAG_DATE_TIME_ORIGINAL) : nullptr;
  if (!entry || !entry->data || entry->format != EXIF_FORMAT_ASCII || entry->size < 19)
    return std::nullopt;
  const std::string text(reinterpret_cast<const char*>(entry->data), 19);
  std::tm date{};
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d:%2d:%2d %2d:%2d:%2d%n", &date.tm_year, &date.tm_mon,
                  &date.tm_mday, &date.tm_hour, &date.tm_min, &date.tm_sec, &consumed) != 6 ||
      consumed != 19)
    return std::nullopt;
  if (date.tm_year < 1 || date.tm_mon < 1 || date.tm_mon > 12 || date.tm_mday < 1 ||
      date.tm_mday > 31 || date.tm_hour > 23 || date.tm_min > 59 || date.tm_sec > 60)
    return std::nullopt;
  date.tm_year -= 1900;
  date.tm_mon -= 1;
  // The weekday and the day of the year, for date formats that show them.
  std::tm normalized = date;
  ::timegm(&normalized);
  date.tm_wday = normalized.tm_wday;
  date.tm_yday = normalized.tm_yday;
  date.tm_isdst = -1;
  return date;
}

}  // namespace qv
