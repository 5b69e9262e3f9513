// Reading and writing PNG samples through libpng's row interface. libpng's errors end in
// longjmp: each call that may raise one runs in a step function holding no object with a
// destructor, and the objects live in the caller.
#include "support/png_samples.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace qv::testing {

namespace {

struct TFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

// libpng's reading structures, destroyed together.
struct TReadStructs {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  TReadStructs() = default;
  TReadStructs(const TReadStructs&) = delete;
  TReadStructs& operator=(const TReadStructs&) = delete;
  ~TReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
};

struct THeader {
  png_uint_32 width = 0, height = 0;
  int channels = 0, bits = 0;
  std::size_t row_bytes = 0;
};

bool ReadHeader(png_structp png, png_infop info, std::FILE* file, THeader* header) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_read_info(png, info);
  if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (png_get_bit_depth(png, info) < 8) png_set_expand(png);
  if (png_get_bit_depth(png, info) == 16) png_set_swap(png);  // samples in host order
  png_read_update_info(png, info);
  header->width = png_get_image_width(png, info);
  header->height = png_get_image_height(png, info);
  header->channels = png_get_channels(png, info);
  header->bits = png_get_bit_depth(png, info);
  header->row_bytes = png_get_rowbytes(png, info);
  return true;
}

bool ReadImage(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  return true;
}

bool WriteImage(png_structp png, png_infop info, std::FILE* file, const TPngSamples* picture,
                png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  static const int kTypes[5] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture->width),
               static_cast<png_uint_32>(picture->height), picture->bits, kTypes[picture->channels],
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  if (picture->bits == 16) png_set_swap(png);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

TPngSamples ReadPngSamples(const std::string& path) {
  TFile file(std::fopen(path.c_str(), "rb"));
  if (!file) throw std::runtime_error("cannot open " + path);
  TReadStructs structs;
  png_structp png = structs.png;
  png_infop info = structs.info;
  THeader header;
  if (info == nullptr || !ReadHeader(png, info, file.get(), &header))
    throw std::runtime_error("libpng cannot read the header of " + path);
  std::vector<std::uint8_t> bytes(header.row_bytes * header.height);
  std::vector<png_bytep> rows;
  for (png_uint_32 y = 0; y < header.height; ++y)
    rows.push_back(bytes.data() + header.row_bytes * y);
  if (!ReadImage(png, rows.data())) throw std::runtime_error("libpng cannot read " + path);

  TPngSamples picture;
  picture.width = static_cast<int>(header.width);
  picture.height = static_cast<int>(header.height);
  picture.channels = header.channels;
  picture.bits = header.bits;
  const std::size_t count = std::size_t{header.width} * header.height * header.channels;
  picture.samples.resize(count);
  for (png_uint_32 y = 0; y < header.height; ++y) {
    const std::uint8_t* row = rows[y];
    const std::size_t per_row = std::size_t{header.width} * header.channels;
    for (std::size_t i = 0; i < per_row; ++i) {
      std::uint16_t sample = row[i];
      if (header.bits == 16) std::memcpy(&sample, row + 2 * i, 2);
      picture.samples[y * per_row + i] = sample;
    }
  }
  return picture;
}

void WritePngSamples(const std::string& path, const TPngSamples& picture) {
  if (picture.channels < 1 || picture.channels > 4 || (picture.bits != 8 && picture.bits != 16))
    throw std::runtime_error("no PNG layout for " + path);
  const std::size_t per_row = static_cast<std::size_t>(picture.width) * picture.channels;
  const std::size_t row_bytes = per_row * (picture.bits / 8);
  std::vector<std::uint8_t> bytes(row_bytes * static_cast<std::size_t>(picture.height));
  std::vector<png_bytep> rows;
  for (int y = 0; y < picture.height; ++y) {
    std::uint8_t* row = bytes.data() + row_bytes * static_cast<std::size_t>(y);
    rows.push_back(row);
    for (std::size_t i = 0; i < per_row; ++i) {
      const std::uint16_t sample = picture.samples[static_cast<std::size_t>(y) * per_row + i];
      if (picture.bits == 16)
        std::memcpy(row + 2 * i, &sample, 2);
      else
        row[i] = static_cast<std::uint8_t>(sample);
    }
  }
  TFile file(std::fopen(path.c_str(), "wb"));
  if (!file) throw std::runtime_error("cannot create " + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  const bool written = info != nullptr && WriteImage(png, info, file.get(), &picture, rows.data());
  png_destroy_write_struct(&png, &info);
  if (!written) throw std::runtime_error("libpng cannot write " + path);
}

}  // namespace qv::testing
