// Small hand-made BMP and PNG files with chosen header fields, for the bad-input tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::testing {

// Fields of a BMP file header and 40-byte info header.
struct BmpFields {
  std::int32_t width = 4;
  std::int32_t height = 4;
  std::uint16_t planes = 1;
  std::uint16_t bits = 24;
  std::uint32_t compression = 0;  // 1 RLE8, 2 RLE4, 3 bit fields
  std::uint32_t size_image = 0;
  std::uint32_t colors_used = 0;
};

// "BM" file header, the info header, then body (colour table and pixels) as given.
std::string MakeBmp(const BmpFields& fields, std::string_view body);

// One PNG chunk: length, type, data and CRC (made wrong on request).
std::string PngChunk(std::string_view type, std::string_view data, bool wrong_crc = false);
// IHDR data: width, height, bit depth, colour type, compression 0, filter 0, interlace 0.
std::string IhdrData(std::uint32_t width, std::uint32_t height, int depth, int colour_type);
// The PNG signature followed by the chunks.
std::string MakePng(const std::vector<std::string>& chunks);
// A zlib stream of raw.
std::string Deflate(std::string_view raw);
// A valid zlib stream that inflates to total zero bytes (a multiple of 1 MiB), made without
// compressing them all: one independently coded 1 MiB block repeated.
std::string DeflateZeros(std::uint64_t total);

}  // namespace qv::testing
