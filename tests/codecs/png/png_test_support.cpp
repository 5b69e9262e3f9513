// Test helpers for the PNG codec: builder, libpng oracle, pngcheck, pixel access.
#include "codecs/png/png_test_support.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "support/child_process.h"

namespace qv::pngtest {

namespace {

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 24));
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

std::uint32_t GetBigEndian(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

// Plain C data the libpng call fills; malloc'd buffers so no destructor sits between setjmp and
// a longjmp out of libpng.
struct RawDecode {
  int ok;
  char message[256];
  png_uint_32 width, height;
  int colour_type, bit_depth;
  int has_gamma;
  png_fixed_point gamma_fixed;
  unsigned char* pixels;  // rows of row_bytes, top first
  png_size_t row_bytes;
  unsigned char palette[768];
  int palette_entries;
  png_bytepp rows;  // row pointers, freed on every path
};

void OnError(png_structp png, png_const_charp message) {
  auto* raw = static_cast<RawDecode*>(png_get_error_ptr(png));
  std::snprintf(raw->message, sizeof raw->message, "%s", message);
  png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

// expand_palette: palette images to RGB (otherwise indices, one byte each).
void RawRead(const char* path, int expand_palette, RawDecode* raw) {
  std::memset(raw, 0, sizeof *raw);
  FILE* file = std::fopen(path, "rb");
  if (!file) return;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, raw, OnError, OnWarning);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    std::free(raw->rows);
    std::free(raw->pixels);
    raw->pixels = nullptr;
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return;
  }
  png_init_io(png, file);
  png_set_crc_action(png, PNG_CRC_DEFAULT, PNG_CRC_DEFAULT);
  png_read_info(png, info);
  raw->width = png_get_image_width(png, info);
  raw->height = png_get_image_height(png, info);
  raw->colour_type = png_get_color_type(png, info);
  raw->bit_depth = png_get_bit_depth(png, info);
  raw->has_gamma = png_get_gAMA_fixed(png, info, &raw->gamma_fixed) != 0;
  png_colorp plte = nullptr;
  if (png_get_PLTE(png, info, &plte, &raw->palette_entries)) {
    for (int i = 0; i < raw->palette_entries && i < 256; ++i) {
      raw->palette[3 * i] = plte[i].red;
      raw->palette[3 * i + 1] = plte[i].green;
      raw->palette[3 * i + 2] = plte[i].blue;
    }
  }
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  if (raw->colour_type == PNG_COLOR_TYPE_PALETTE) {
    if (expand_palette)
      png_set_palette_to_rgb(png);
    else
      png_set_packing(png);
  } else if (raw->colour_type == PNG_COLOR_TYPE_GRAY ||
             raw->colour_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_expand_gray_1_2_4_to_8(png);
    png_set_gray_to_rgb(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  raw->row_bytes = png_get_rowbytes(png, info);
  raw->pixels = static_cast<unsigned char*>(std::malloc(raw->row_bytes * raw->height));
  raw->rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * raw->height));
  for (png_uint_32 y = 0; y < raw->height; ++y) raw->rows[y] = raw->pixels + y * raw->row_bytes;
  png_read_image(png, raw->rows);
  png_read_end(png, nullptr);
  std::free(raw->rows);
  raw->rows = nullptr;
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  raw->ok = 1;
}

}  // namespace

std::vector<std::uint8_t> Ihdr(std::uint32_t width, std::uint32_t height, int depth,
                               int colour_type, int interlace, int compression) {
  std::vector<std::uint8_t> out;
  PutBigEndian(out, width);
  PutBigEndian(out, height);
  out.push_back(static_cast<std::uint8_t>(depth));
  out.push_back(static_cast<std::uint8_t>(colour_type));
  out.push_back(static_cast<std::uint8_t>(compression));
  out.push_back(0);
  out.push_back(static_cast<std::uint8_t>(interlace));
  return out;
}

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& raw, int level) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> out(size);
  compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level);
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> Inflate(const std::vector<std::uint8_t>& compressed) {
  z_stream z{};
  inflateInit(&z);
  std::vector<std::uint8_t> out;
  std::uint8_t buffer[65536];
  z.next_in = const_cast<Bytef*>(compressed.data());
  z.avail_in = static_cast<uInt>(compressed.size());
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = buffer;
    z.avail_out = sizeof buffer;
    result = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
  }
  inflateEnd(&z);
  return out;
}

std::vector<std::uint8_t> BuildPng(const std::vector<Chunk>& chunks) {
  std::vector<std::uint8_t> out = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  for (const Chunk& chunk : chunks) {
    PutBigEndian(out, static_cast<std::uint32_t>(chunk.data.size()));
    std::size_t type_at = out.size();
    out.insert(out.end(), chunk.type.begin(), chunk.type.begin() + 4);
    out.insert(out.end(), chunk.data.begin(), chunk.data.end());
    uLong crc = crc32(0, out.data() + type_at, static_cast<uInt>(4 + chunk.data.size()));
    PutBigEndian(out, static_cast<std::uint32_t>(crc) ^ (chunk.bad_crc ? 1u : 0u));
  }
  return out;
}

std::vector<Chunk> ParseChunks(const std::vector<std::uint8_t>& file) {
  std::vector<Chunk> chunks;
  std::size_t at = 8;
  while (at + 12 <= file.size()) {
    std::uint32_t length = GetBigEndian(file.data() + at);
    if (at + 12 + length > file.size()) break;
    Chunk chunk;
    chunk.type.assign(reinterpret_cast<const char*>(file.data() + at + 4), 4);
    chunk.data.assign(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                      file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    uLong crc = crc32(0, file.data() + at + 4, 4 + length);
    chunk.bad_crc = crc != GetBigEndian(file.data() + at + 8 + length);
    chunks.push_back(std::move(chunk));
    at += 12 + length;
  }
  return chunks;
}

LibpngImage DecodeWithLibpng(const std::string& path) {
  LibpngImage result;
  auto raw = std::make_unique<RawDecode>();
  RawRead(path.c_str(), 1, raw.get());
  if (!raw->ok) {
    result.error = raw->message;
    return result;
  }
  result.ok = true;
  result.width = static_cast<int>(raw->width);
  result.height = static_cast<int>(raw->height);
  result.colour_type = raw->colour_type;
  result.bit_depth = raw->bit_depth;
  result.has_gamma = raw->has_gamma != 0;
  result.gamma_fixed = static_cast<std::uint32_t>(raw->gamma_fixed);
  result.rgb.resize(static_cast<std::size_t>(result.width) * result.height * 3);
  for (int y = 0; y < result.height; ++y)
    std::memcpy(result.rgb.data() + static_cast<std::size_t>(y) * result.width * 3,
                raw->pixels + y * raw->row_bytes, static_cast<std::size_t>(result.width) * 3);
  std::free(raw->pixels);
  result.palette.assign(raw->palette, raw->palette + 3 * raw->palette_entries);
  if (result.colour_type == PNG_COLOR_TYPE_PALETTE) {
    auto indexed = std::make_unique<RawDecode>();
    RawRead(path.c_str(), 0, indexed.get());
    if (indexed->ok) {
      result.indices.resize(static_cast<std::size_t>(result.width) * result.height);
      for (int y = 0; y < result.height; ++y)
        std::memcpy(result.indices.data() + static_cast<std::size_t>(y) * result.width,
                    indexed->pixels + y * indexed->row_bytes,
                    static_cast<std::size_t>(result.width));
      std::free(indexed->pixels);
    }
  }
  return result;
}

int RunPngcheck(const std::string& path, std::string* output) {
  testing::ProgramResult result = testing::RunProgram("/usr/bin/pngcheck", {"-q", path});
  if (output) *output = result.out + result.err;
  return result.status;
}

int PixelIndex(const TBitmap& image, int x, int y) {
  const std::uint8_t* row = image.ScanLine(y);
  switch (image.BitsPerPixel()) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
    case 8: return row[x];
    default: return -1;
  }
}

TRGBQuad PixelColor(const TBitmap& image, int x, int y) {
  if (image.BitsPerPixel() <= 8) {
    TRGBQuad c = image.Palette().at(static_cast<std::size_t>(PixelIndex(image, x, y)));
    c.reserved = 0;
    return c;
  }
  const std::uint8_t* p = image.ScanLine(y) + static_cast<std::size_t>(x) * 3;
  return TRGBQuad{p[0], p[1], p[2], 0};
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace qv::pngtest
