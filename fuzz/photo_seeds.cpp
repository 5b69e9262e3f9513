// Helps scripts/fuzz.sh seed the HEIF, AVIF and JPEG XL targets, whose files the formats' own
// encoders make:
//   photo_seeds sources OUT        small source pictures for the encoders: OUT/colour.png,
//                                  alpha.png, grey.png, grey-alpha.png, deep.png (16 bits),
//                                  square.png (64 x 64, coded by heif-enc without a grid),
//                                  large.png (128 x 128, for a 2 x 2 AVIF grid of 64 x 64 cells)
//                                  and exif.jpg (EXIF orientation 6)
//   photo_seeds heif-layouts HEIC OUT
//                                  the coded picture of HEIC (a heif-enc file without a grid) in
//                                  the layouts heif-enc does not write: turned, mirrored, both, a
//                                  2 x 2 grid, a grid turned, with an EXIF item, claiming a huge
//                                  size
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "runtime/stream.h"
#include "support/file_bytes.h"
#include "support/heif_builder.h"
#include "support/png_samples.h"

namespace {

using qv::testing::TBytes;
using qv::testing::TPngSamples;

void Save(const std::string& path, const TBytes& bytes) {
  qv::testing::WriteFile(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

TPngSamples Picture(int width, int height, int channels, int bits) {
  TPngSamples picture;
  picture.width = width;
  picture.height = height;
  picture.channels = channels;
  picture.bits = bits;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c)
        picture.samples.push_back(static_cast<std::uint16_t>(
            ((x * 37 + y * 11 + c * 71) % 256) * (bits == 16 ? 257 : 1) + (bits == 16 ? x : 0)));
  return picture;
}

void Sources(const std::string& out) {
  qv::testing::WritePngSamples(out + "/colour.png", Picture(20, 14, 3, 8));
  qv::testing::WritePngSamples(out + "/alpha.png", Picture(16, 12, 4, 8));
  qv::testing::WritePngSamples(out + "/grey.png", Picture(18, 10, 1, 8));
  qv::testing::WritePngSamples(out + "/grey-alpha.png", Picture(12, 9, 2, 8));
  qv::testing::WritePngSamples(out + "/deep.png", Picture(14, 10, 3, 16));
  qv::testing::WritePngSamples(out + "/square.png", Picture(64, 64, 3, 8));
  qv::testing::WritePngSamples(out + "/large.png", Picture(128, 128, 3, 8));

  // A small JPEG (libjpeg's own encoder) whose EXIF block says "turn a quarter clockwise".
  const int width = 24, height = 16;
  jpeg_compress_struct compress;
  jpeg_error_mgr errors;
  compress.err = jpeg_std_error(&errors);  // a failure here ends the program, which is fine
  jpeg_create_compress(&compress);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compress, &buffer, &size);
  compress.image_width = width;
  compress.image_height = height;
  compress.input_components = 3;
  compress.in_color_space = JCS_RGB;
  jpeg_set_defaults(&compress);
  jpeg_start_compress(&compress, TRUE);
  const std::uint8_t exif[] = {'E',  'x',  'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                               0x01, 0x12, 0,   3,   0, 0, 0,   1,   0, 6,  0, 0, 0, 0, 0, 0};
  jpeg_write_marker(&compress, JPEG_APP0 + 1, exif, sizeof exif);
  std::vector<JSAMPLE> row(width * 3);
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < width * 3; ++i)
      row[static_cast<std::size_t>(i)] = static_cast<JSAMPLE>(i * 9 + y * 5);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&compress, rows, 1);
  }
  jpeg_finish_compress(&compress);
  jpeg_destroy_compress(&compress);
  Save(out + "/exif.jpg", TBytes(buffer, buffer + size));
  std::free(buffer);
}

void HeifLayouts(const std::string& heic, const std::string& out) {
  const qv::testing::THeifCoded coded = qv::testing::ReadCodedPrimary(qv::ReadWholeFile(heic));
  auto save = [&](const std::string& name, qv::testing::THeifLayout layout) {
    if (layout.tiles.empty()) layout.tiles = {coded};
    Save(out + "/" + name, qv::testing::BuildHeif(layout));
  };
  qv::testing::THeifLayout layout;
  layout.transforms = {qv::testing::RotationBox(1)};
  save("rotated", layout);
  layout.transforms = {qv::testing::MirrorBox(0)};
  save("mirrored", layout);
  layout.transforms = {qv::testing::RotationBox(3), qv::testing::MirrorBox(1)};
  save("rotated-mirrored", layout);
  layout.transforms = {};
  layout.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3,
                 0,   1,   0,  0, 0, 8, 0, 0, 0, 0, 0,    0,    0};
  save("exif", layout);
  layout.exif = {};
  layout.claimed_width = layout.claimed_height = 65535;
  save("huge", layout);
  layout.claimed_width = layout.claimed_height = 0;
  layout.tiles = {coded, coded, coded, coded};
  layout.columns = 2;
  save("grid", layout);
  layout.width = 100;
  layout.height = 90;
  layout.transforms = {qv::testing::RotationBox(2)};
  save("grid-cropped-rotated", layout);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 2 && args[0] == "sources") {
      Sources(args[1]);
      return 0;
    }
    if (args.size() == 3 && args[0] == "heif-layouts") {
      HeifLayouts(args[1], args[2]);
      return 0;
    }
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "photo_seeds: %s\n", failure.what());
    return 1;
  }
  std::fprintf(stderr, "usage: photo_seeds sources OUT | photo_seeds heif-layouts HEIC OUT\n");
  return 2;
}
