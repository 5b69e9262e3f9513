// Test helpers for the PNG codec: hand-built PNG files, libpng as the oracle, pngcheck, and
// reading colours out of a Raster image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

namespace qv::pngtest {

// A chunk to put into a hand-built file; a CRC is computed with zlib's crc32 unless bad_crc.
struct Chunk {
  std::string type;
  std::vector<std::uint8_t> data;
  bool bad_crc = false;
};

std::vector<std::uint8_t> Ihdr(std::uint32_t width, std::uint32_t height, int depth,
                               int colour_type, int interlace = 0, int compression = 0);
// zlib-compressed bytes (through zlib's compress2).
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& raw, int level = 6);
std::vector<std::uint8_t> Inflate(const std::vector<std::uint8_t>& compressed);
// Signature and chunks.
std::vector<std::uint8_t> BuildPng(const std::vector<Chunk>& chunks);

// Chunks of a file in order: type and data.
std::vector<Chunk> ParseChunks(const std::vector<std::uint8_t>& file);

// What libpng makes of a file: 8-bit RGB (16-bit high bytes, palette expanded, grey to RGB,
// alpha dropped) and, for palette images, the raw indices and the PLTE entries.
struct LibpngImage {
  bool ok = false;
  std::string error;
  int width = 0, height = 0;
  int colour_type = 0, bit_depth = 0;
  bool has_gamma = false;
  double gamma = 0;                   // file gamma as libpng reports it (png_get_gAMA)
  std::uint32_t gamma_fixed = 0;      // the gAMA value in 1/100000
  std::vector<std::uint8_t> rgb;      // width x height x 3, top row first
  std::vector<std::uint8_t> indices;  // palette images: width x height
  std::vector<std::uint8_t> palette;  // palette images: 3 x entries
};
LibpngImage DecodeWithLibpng(const std::string& path);

// Exit status of pngcheck -q on a file (0 means OK), with its output.
int RunPngcheck(const std::string& path, std::string* output = nullptr);

// Colour of pixel (x, y) (0 is the top row) of a 1, 4, 8 or 24-bit image, and its palette index.
TRGBQuad PixelColor(const TBitmap& image, int x, int y);
int PixelIndex(const TBitmap& image, int x, int y);

// Writes bytes to a file.
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace qv::pngtest
