// JPEG metadata segments: a marker walk up to the first scan, and segment building.
#include "codecs/jpeg/jpeg_metadata.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace qv {

namespace {

constexpr std::uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::uint8_t kIccHeader[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr char kXmpName[] = "http://ns.adobe.com/xap/1.0/";  // with its zero: 29 bytes
constexpr char kXmpExtensionName[] = "http://ns.adobe.com/xmp/extension/";  // 35 bytes
constexpr char kPhotoshopName[] = "Photoshop 3.0";                          // 14 bytes
constexpr std::size_t kMaxSegmentData = 65533;  // the length field counts itself
constexpr std::size_t kMaxIccPiece = kMaxSegmentData - sizeof kIccHeader - 2;

constexpr std::uint8_t kApp0 = 0xE0, kApp1 = 0xE1, kApp2 = 0xE2, kApp13 = 0xED, kSos = 0xDA,
                       kEoi = 0xD9;

const std::uint8_t* Bytes(const char* text) { return reinterpret_cast<const std::uint8_t*>(text); }

// Markers that stand alone, without a length: TEM, RST0..7, SOI, EOI.
bool StandsAlone(std::uint8_t marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
}

bool StartsWith(const std::uint8_t* data, std::size_t size, const std::uint8_t* prefix,
                std::size_t prefix_size) {
  return size >= prefix_size && std::memcmp(data, prefix, prefix_size) == 0;
}

// Calls visit(marker, data, size, segment_start) for each segment from just after SOI up to
// (not including) the first scan. Stops quietly at damage.
template <typename Visit>
void WalkSegments(const std::vector<std::uint8_t>& jpeg, Visit visit) {
  if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return;
  std::size_t at = 2;
  while (at + 1 < jpeg.size()) {
    if (jpeg[at] != 0xFF) return;
    std::size_t marker_at = at;
    while (at < jpeg.size() && jpeg[at] == 0xFF) ++at;  // fill bytes
    if (at >= jpeg.size()) return;
    std::uint8_t marker = jpeg[at++];
    if (marker == kSos || marker == kEoi) return;
    if (StandsAlone(marker)) continue;
    if (at + 2 > jpeg.size()) return;
    std::size_t length = static_cast<std::size_t>(jpeg[at] << 8 | jpeg[at + 1]);
    if (length < 2 || at + length > jpeg.size()) return;
    if (!visit(marker, jpeg.data() + at + 2, length - 2, marker_at)) return;
    at += length;
  }
}

void AppendSegment(std::vector<std::uint8_t>& out, std::uint8_t marker, const std::uint8_t* header,
                   std::size_t header_size, const std::vector<std::uint8_t>& extra_header,
                   const std::uint8_t* data, std::size_t size) {
  std::size_t length = 2 + header_size + extra_header.size() + size;
  out.push_back(0xFF);
  out.push_back(marker);
  out.push_back(static_cast<std::uint8_t>(length >> 8));
  out.push_back(static_cast<std::uint8_t>(length & 0xFF));
  out.insert(out.end(), header, header + header_size);
  out.insert(out.end(), extra_header.begin(), extra_header.end());
  out.insert(out.end(), data, data + size);
}

}  // namespace

TJpegMetadata ReadJpegMetadata(const std::vector<std::uint8_t>& jpeg) {
  TJpegMetadata metadata;
  std::map<int, std::vector<std::uint8_t>> pieces;
  int piece_count = -1;
  bool icc_broken = false;
  WalkSegments(
      jpeg, [&](std::uint8_t marker, const std::uint8_t* data, std::size_t size, std::size_t) {
        if (marker == kApp1 && metadata.exif.empty() &&
            StartsWith(data, size, kExifHeader, sizeof kExifHeader)) {
          metadata.exif.assign(data + sizeof kExifHeader, data + size);
        } else if (marker == kApp1 && metadata.xmp.empty() &&
                   StartsWith(data, size, Bytes(kXmpName), sizeof kXmpName)) {
          metadata.xmp.assign(data + sizeof kXmpName, data + size);
        } else if (marker == kApp1 &&
                   StartsWith(data, size, Bytes(kXmpExtensionName), sizeof kXmpExtensionName)) {
          metadata.xmp_extension.emplace_back(data + sizeof kXmpExtensionName, data + size);
        } else if (marker == kApp13 &&
                   StartsWith(data, size, Bytes(kPhotoshopName), sizeof kPhotoshopName)) {
          metadata.photoshop.emplace_back(data + sizeof kPhotoshopName, data + size);
        } else if (marker == kApp2 && StartsWith(data, size, kIccHeader, sizeof kIccHeader) &&
                   size >= sizeof kIccHeader + 2) {
          int sequence = data[sizeof kIccHeader];
          int count = data[sizeof kIccHeader + 1];
          if (sequence < 1 || sequence > count || (piece_count >= 0 && count != piece_count) ||
              pieces.count(sequence))
            icc_broken = true;
          piece_count = count;
          pieces[sequence].assign(data + sizeof kIccHeader + 2, data + size);
        }
        return true;
      });
  if (!icc_broken && piece_count > 0 && static_cast<int>(pieces.size()) == piece_count) {
    for (const auto& [sequence, piece] : pieces)
      metadata.icc_profile.insert(metadata.icc_profile.end(), piece.begin(), piece.end());
  }
  return metadata;
}

std::vector<std::uint8_t> InsertJpegMetadata(const std::vector<std::uint8_t>& jpeg,
                                             const TJpegMetadata& metadata) {
  if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return jpeg;
  // Insert after the leading APP0 segments (the JFIF marker must stay first).
  std::size_t insert_at = 2;
  WalkSegments(jpeg, [&](std::uint8_t marker, const std::uint8_t*, std::size_t size,
                         std::size_t segment_start) {
    if (marker != kApp0 || segment_start != insert_at) return false;
    insert_at = segment_start + 4 + size;
    return true;
  });

  std::vector<std::uint8_t> segments;
  // One segment under a name, when it fits.
  auto append = [&](std::uint8_t marker, const std::uint8_t* name, std::size_t name_size,
                    const std::vector<std::uint8_t>& data) {
    if (!data.empty() && data.size() + name_size <= kMaxSegmentData)
      AppendSegment(segments, marker, name, name_size, {}, data.data(), data.size());
  };
  append(kApp1, kExifHeader, sizeof kExifHeader, metadata.exif);
  append(kApp1, Bytes(kXmpName), sizeof kXmpName, metadata.xmp);
  for (const auto& piece : metadata.xmp_extension)
    append(kApp1, Bytes(kXmpExtensionName), sizeof kXmpExtensionName, piece);
  const std::size_t size = metadata.icc_profile.size();
  const std::size_t count = (size + kMaxIccPiece - 1) / kMaxIccPiece;
  if (count >= 1 && count <= 255) {
    for (std::size_t i = 0; i < count; ++i) {
      std::size_t begin = i * kMaxIccPiece, piece = std::min(kMaxIccPiece, size - begin);
      AppendSegment(segments, kApp2, kIccHeader, sizeof kIccHeader,
                    {static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(count)},
                    metadata.icc_profile.data() + begin, piece);
    }
  }
  for (const auto& resources : metadata.photoshop)
    append(kApp13, Bytes(kPhotoshopName), sizeof kPhotoshopName, resources);
  std::vector<std::uint8_t> out;
  out.reserve(jpeg.size() + segments.size());
  out.insert(out.end(), jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(insert_at));
  out.insert(out.end(), segments.begin(), segments.end());
  out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(insert_at), jpeg.end());
  return out;
}

}  // namespace qv
