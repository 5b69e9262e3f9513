// Writes the small seed files of the plug-in and PDF fuzz targets into a folder:
// plugin_seeds OUT makes OUT/gif, OUT/tiff, OUT/webp, OUT/netpbm and OUT/pdf_drop.
#include <gif_lib.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/jpeg/jpeg_image.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Save(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}
void Save(const std::string& path, const std::string& text) {
  Save(path, Bytes(text.begin(), text.end()));
}

// ---- GIF ----
int WriteToVector(GifFileType* gif, const GifByteType* data, int length) {
  static_cast<Bytes*>(gif->UserData)
      ->insert(static_cast<Bytes*>(gif->UserData)->end(), data, data + length);
  return length;
}

Bytes Gif(int screen_w, int screen_h, int left, int top, int w, int h, bool interlaced, bool local,
          int transparent, int colors, int frames) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
  std::vector<GifColorType> table(static_cast<std::size_t>(colors));
  for (int i = 0; i < colors; ++i)
    table[static_cast<std::size_t>(i)] = {static_cast<GifByteType>(i * 37),
                                          static_cast<GifByteType>(255 - i * 11),
                                          static_cast<GifByteType>(i * 5)};
  ColorMapObject* map = GifMakeMapObject(colors, table.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, screen_w, screen_h, 8, 0, local ? nullptr : map);
  for (int frame = 0; frame < frames; ++frame) {
    if (transparent >= 0) {
      GifByteType control[4] = {1, 10, 0, static_cast<GifByteType>(transparent)};
      EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
    }
    EGifPutImageDesc(gif, left, top, w, h, interlaced, local ? map : nullptr);
    std::vector<GifPixelType> line(static_cast<std::size_t>(w));
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x)
        line[static_cast<std::size_t>(x)] = static_cast<GifPixelType>((x + y + frame) % colors);
      EGifPutLine(gif, line.data(), w);
    }
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// ---- TIFF ----
Bytes Tiff(const std::string& scratch, int bits, int samples, int photometric, int compression,
           bool tiled, bool alpha, bool planar) {
  const int w = 5, h = 4;
  TIFF* tiff = TIFFOpen(scratch.c_str(), "w");
  if (tiff == nullptr) return {};
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(w));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(h));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(bits));
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(samples));
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, static_cast<std::uint16_t>(photometric));
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
               static_cast<std::uint16_t>(planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG));
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, static_cast<std::uint16_t>(compression));
  if (alpha) {
    std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  if (photometric == PHOTOMETRIC_PALETTE) {
    std::vector<std::uint16_t> r(1u << bits), g(1u << bits), b(1u << bits);
    for (std::size_t i = 0; i < r.size(); ++i)
      r[i] = static_cast<std::uint16_t>(i * 4099),
      g[i] = static_cast<std::uint16_t>(65535 - i * 257), b[i] = 30000;
    TIFFSetField(tiff, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
  }
  if (tiled) {
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16u);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16u);
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(tiff)));
    for (std::size_t i = 0; i < tile.size(); ++i) tile[i] = static_cast<std::uint8_t>(i * 7);
    for (int s = 0; s < (planar ? samples : 1); ++s)
      TIFFWriteTile(tiff, tile.data(), 0, 0, 0, static_cast<std::uint16_t>(s));
  } else {
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 2u);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(tiff)));
    for (int s = 0; s < (planar ? samples : 1); ++s)
      for (int y = 0; y < h; ++y) {
        for (std::size_t i = 0; i < row.size(); ++i)
          row[i] = static_cast<std::uint8_t>(i * 29 + static_cast<std::size_t>(y) * 71);
        TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y),
                          static_cast<std::uint16_t>(s));
      }
  }
  TIFFClose(tiff);
  std::ifstream in(scratch, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), {});
  unlink(scratch.c_str());
  return bytes;
}

// ---- WebP ----
std::vector<std::uint8_t> Rgba(int w, int h, bool alpha) {
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w * h * 4));
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    rgba[i] = static_cast<std::uint8_t>(i * 3), rgba[i + 1] = static_cast<std::uint8_t>(i * 5);
    rgba[i + 2] = static_cast<std::uint8_t>(255 - i), rgba[i + 3] = alpha ? (i & 4 ? 0 : 200) : 255;
  }
  return rgba;
}

Bytes Take(std::uint8_t* data, std::size_t size) {
  Bytes bytes(data, data + size);
  WebPFree(data);
  return bytes;
}

Bytes WebPAnimation() {
  const int w = 6, h = 4;
  WebPAnimEncoderOptions options;
  WebPAnimEncoderOptionsInit(&options);
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(w, h, &options);
  WebPConfig config;
  WebPConfigInit(&config);
  config.lossless = 1;
  int timestamp = 0;
  for (int frame = 0; frame < 2; ++frame) {
    std::vector<std::uint8_t> rgba = Rgba(w, h, frame == 1);
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.use_argb = 1;
    picture.width = w;
    picture.height = h;
    WebPPictureImportRGBA(&picture, rgba.data(), w * 4);
    WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
    WebPPictureFree(&picture);
    timestamp += 100;
  }
  WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
  WebPData data;
  WebPDataInit(&data);
  WebPAnimEncoderAssemble(encoder, &data);
  Bytes bytes(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  WebPAnimEncoderDelete(encoder);
  return bytes;
}

// ---- JPEG (the project's own encoder) ----
Bytes Jpeg(int w, int h, qv::TPixelFormat format, bool progressive) {
  qv::TBitmap image;
  image.Allocate(w, h, format);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (std::size_t i = 0; i < image.RowSize(); ++i)
      row[i] = static_cast<std::uint8_t>(i * 13 + y);
  }
  qv::TJPEGImage jpeg;
  jpeg.Assign(image);
  jpeg.SetProgressiveEncoding(progressive);
  jpeg.SetCompressionQuality(50);
  qv::TMemoryStream out;
  jpeg.SaveToStream(out);
  return Bytes(out.Bytes().begin(), out.Bytes().end());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: plugin_seeds OUT\n");
    return 2;
  }
  const std::string out = argv[1];
  for (const char* sub : {"", "/gif", "/tiff", "/webp", "/netpbm", "/pdf_drop"})
    mkdir((out + sub).c_str(), 0755);

  Save(out + "/gif/plain", Gif(5, 4, 0, 0, 5, 4, false, false, -1, 8, 1));
  Save(out + "/gif/interlaced-local-transparent", Gif(12, 10, 2, 1, 9, 9, true, true, 3, 16, 1));
  Save(out + "/gif/frame-past-screen", Gif(4, 4, 2, 2, 5, 3, false, false, 1, 4, 1));
  Save(out + "/gif/two-colours-two-frames", Gif(7, 3, 0, 0, 7, 3, false, false, -1, 2, 2));

  const std::string scratch = out + "/scratch.tif";
  struct TiffSeed {
    const char* name;
    int bits, samples, photometric, compression;
    bool tiled, alpha, planar;
  };
  const TiffSeed tiffs[] = {
      {"grey8", 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, false, false, false},
      {"bilevel-white0", 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_PACKBITS, false, false, false},
      {"palette4", 4, 1, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, false, false, false},
      {"palette8-lzw", 8, 1, PHOTOMETRIC_PALETTE, COMPRESSION_LZW, false, false, false},
      {"rgb8-deflate", 8, 3, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, false, false, false},
      {"rgba8-tiled", 8, 4, PHOTOMETRIC_RGB, COMPRESSION_NONE, true, true, false},
      {"rgb16-planar", 16, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW, false, false, true},
      {"grey16", 16, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, false, false, false},
      {"cmyk8", 8, 4, PHOTOMETRIC_SEPARATED, COMPRESSION_NONE, false, false, false},
      {"ycbcr-jpeg", 8, 3, PHOTOMETRIC_YCBCR, COMPRESSION_JPEG, true, false, false},
  };
  for (const TiffSeed& t : tiffs)
    Save(out + "/tiff/" + t.name, Tiff(scratch, t.bits, t.samples, t.photometric, t.compression,
                                       t.tiled, t.alpha, t.planar));

  std::uint8_t* data = nullptr;
  std::vector<std::uint8_t> rgba = Rgba(6, 4, true);
  std::size_t size = WebPEncodeLosslessRGBA(rgba.data(), 6, 4, 24, &data);
  Save(out + "/webp/lossless-alpha", Take(data, size));
  rgba = Rgba(16, 16, false);
  size = WebPEncodeRGBA(rgba.data(), 16, 16, 64, 60, &data);
  Save(out + "/webp/lossy", Take(data, size));
  rgba = Rgba(9, 7, true);
  size = WebPEncodeRGBA(rgba.data(), 9, 7, 36, 40, &data);
  Save(out + "/webp/lossy-alpha", Take(data, size));
  Save(out + "/webp/animation", WebPAnimation());

  Save(out + "/netpbm/p1", std::string("P1\n# plain bitmap\n5 3\n1 0 1 0 1\n0 1 0 1 0\n11111\n"));
  Save(out + "/netpbm/p2", std::string("P2 4 2 15\n0 5 10 15\n15 10 5 0\n"));
  Save(out + "/netpbm/p3", std::string("P3\n2 2\n255\n255 0 0 0 255 0\n0 0 255 9 9 9\n"));
  Save(out + "/netpbm/p4", std::string("P4\n10 2\n\xA5\xC0\x5A\x40", 12));
  Save(out + "/netpbm/p5-16bit", std::string("P5 2 2 1000\n\x03\xE8\x00\x00\x01\xF4\x00\x10", 20));
  Save(out + "/netpbm/p6", std::string("P6 2 1 255\n\xFF\x00\x80\x10\x20\x30", 17));
  Save(out + "/netpbm/p7-rgba",
       std::string("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                   "\xFF\x00\x00\x80\x00\xFF\x00\xFF",
                   70));
  Save(
      out + "/netpbm/p7-grey-alpha",
      std::string("P7\nWIDTH 3\nHEIGHT 1\nDEPTH 2\nMAXVAL 65535\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n"
                  "\x12\x34\xFF\xFF\x00\x00\x80\x00\xFF\xFF\x00\x00",
                  84));

  // PDF drop seeds: the settings byte, then a JPEG (grey, colour, progressive, odd sizes).
  struct JpegSeed {
    const char* name;
    std::uint8_t settings;
    int w, h;
    qv::TPixelFormat format;
    bool progressive;
  };
  const JpegSeed jpegs[] = {
      {"rgb-8x8", 0x00, 8, 8, qv::TPixelFormat::pf24bit, false},
      {"palette-17x5-twice", 0x01, 17, 5, qv::TPixelFormat::pf8bit, false},
      {"rgb-progressive-after-first", 0x02, 12, 9, qv::TPixelFormat::pf24bit, true},
      {"rgb-recompressed", 0x5c, 16, 16, qv::TPixelFormat::pf24bit, false},
  };
  for (const JpegSeed& j : jpegs) {
    Bytes bytes = Jpeg(j.w, j.h, j.format, j.progressive);
    bytes.insert(bytes.begin(), j.settings);
    Save(out + "/pdf_drop/" + j.name, bytes);
  }
  return 0;
}
