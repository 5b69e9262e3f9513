// Benchmarks of the JPEG adapter on a 4000 x 3000 picture: decoding and compressing at quality
// 85 through TJPEGImage, next to the same work done by libjpeg directly (what the adapter costs).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <jpeglib.h>

#include "codecs/bmp/bmp_reader.h"
#include "codecs/jpeg/jpeg_band_encoder.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_kernels.h"
#include "imaging/bitmap.h"
#include "runtime/spare_threads.h"
#include "runtime/stream.h"

namespace {

using qv::TBitmap;
using qv::TPixelFormat;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kQuality = 85;

// A photo-like picture: smooth gradients, a few hard edges and mild noise; or the 24-bit BMP
// file QV_BENCH_BMP names (one of the comparison's corpus, say).
const TBitmap &Photo() {
  static const TBitmap image = [] {
    TBitmap result;
    if (const char *path = std::getenv("QV_BENCH_BMP")) {
      qv::TFileStream file(path);
      qv::ReadBitmap(result, file);
      return result;
    }
    result.Allocate(kWidth, kHeight, TPixelFormat::pf24bit);
    std::mt19937 random(1);
    for (int y = 0; y < kHeight; ++y) {
      std::uint8_t *row = result.ScanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        int noise = static_cast<int>(random() % 8);
        int edge = ((x / 500 + y / 400) % 2) * 60;
        row[3 * x] = static_cast<std::uint8_t>((x * 180 / kWidth + noise + edge) & 0xFF);
        row[3 * x + 1] = static_cast<std::uint8_t>((y * 200 / kHeight + noise) & 0xFF);
        row[3 * x + 2] = static_cast<std::uint8_t>(
            ((x + y) * 128 / (kWidth + kHeight) + noise + edge / 2) & 0xFF);
      }
    }
    return result;
  }();
  return image;
}

std::vector<std::uint8_t> EncodeOurs() {
  qv::TJPEGImage jpeg;
  jpeg.Assign(Photo());
  jpeg.SetCompressionQuality(kQuality);
  jpeg.Compress();
  return jpeg.CompressedData();
}

const std::vector<std::uint8_t> &Encoded() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> b = EncodeOurs();
    // The same file for djpeg/cjpeg runs: bench-photo.jpg and bench-photo.ppm in the working
    // folder.
    if (std::getenv("QV_BENCH_WRITE_FILES") != nullptr) {
      if (FILE *f = std::fopen("bench-photo.jpg", "wb")) {
        std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
      }
      if (FILE *f = std::fopen("bench-photo.ppm", "wb")) {
        std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth) * 3);
        for (int y = 0; y < kHeight; ++y) {
          const std::uint8_t *row = Photo().ScanLine(y);
          for (int x = 0; x < kWidth; ++x) {
            rgb[3 * x] = row[3 * x + 2];
            rgb[3 * x + 1] = row[3 * x + 1];
            rgb[3 * x + 2] = row[3 * x];
          }
          std::fwrite(rgb.data(), 1, rgb.size(), f);
        }
        std::fclose(f);
      }
    }
    return b;
  }();
  return bytes;
}

void SetRate(benchmark::State &state) {
  state.counters["MPix/s"] = benchmark::Counter(Photo().Width() * Photo().Height() / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void JpegEncodeAdapter(benchmark::State &state) {
  (void)Photo();
  std::size_t size = 0;
  for (auto _ : state) size = EncodeOurs().size();
  SetRate(state);
  state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(JpegEncodeAdapter)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same file made by the band encoder itself, on this thread alone (0) or with one spare
// thread taking bands (1): what a -j 2 drop's last file gets once the other worker is done.
// (Through TJPEGImage the band encoder runs only when a spare thread waits.)
void JpegEncodeInBands(benchmark::State &state) {
  const TBitmap &photo = Photo();
  // libjpeg's header and tables at this quality, read from the file it writes for a small
  // picture.
  TBitmap small;
  small.Allocate(16, 16, TPixelFormat::pf24bit);
  qv::TJPEGImage jpeg;
  jpeg.Assign(small);
  jpeg.SetCompressionQuality(kQuality);
  jpeg.Compress();
  const std::optional<qv::TJpegBaselineHeader> header =
      qv::TJpegBaselineHeader::Read(jpeg.CompressedData());
  if (!header || !qv::JpegBandEncoderInUse()) {
    state.SkipWithError("the band encoder is not used here");
    return;
  }
  const auto &form = qv::ChosenVariant(qv::JpegKernelVariants());
  state.SetLabel(form.name);
  qv::TSpareThreads spare;
  std::thread helper;
  if (state.range(0) == 1) helper = std::thread([&] { spare.Help(); });
  std::size_t size = 0;
  const qv::TWorkContext work(spare);
  for (auto _ : state)
    size = qv::EncodeJpegInBands(form.function, *header, photo.ScanLine(0), photo.RowStep(),
                                 photo.Width(), photo.Height(), nullptr, work)
               .size();
  spare.Close();
  if (helper.joinable()) helper.join();
  SetRate(state);
  state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(JpegEncodeInBands)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void JpegDecodeAdapter(benchmark::State &state) {
  const std::vector<std::uint8_t> &bytes = Encoded();
  for (auto _ : state) {
    qv::TJPEGImage jpeg;
    qv::TReadOnlyMemoryStream in(bytes);
    jpeg.LoadFromStream(in);
    TBitmap image;
    jpeg.AssignTo(image);
    benchmark::DoNotOptimize(image.Bits());
  }
  SetRate(state);
}
BENCHMARK(JpegDecodeAdapter)->Unit(benchmark::kMillisecond)->UseRealTime();

// libjpeg alone, same settings: BGR rows one at a time, default DCT, memory source/destination.
void JpegEncodeLibrary(benchmark::State &state) {
  const TBitmap &photo = Photo();
  std::size_t size = 0;
  for (auto _ : state) {
    jpeg_compress_struct c{};
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char *out = nullptr;
    unsigned long out_size = 0;
    jpeg_mem_dest(&c, &out, &out_size);
    c.image_width = static_cast<JDIMENSION>(photo.Width());
    c.image_height = static_cast<JDIMENSION>(photo.Height());
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, kQuality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
      JSAMPROW row = const_cast<std::uint8_t *>(photo.ScanLine(static_cast<int>(c.next_scanline)));
      jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    size = out_size;
    std::free(out);
  }
  SetRate(state);
  state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(JpegEncodeLibrary)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arg 0: rows into one buffer kept across iterations; arg 1: a new zeroed buffer per decode, as
// any decoder handing out a new image must do (its page faults are most of the difference).
void JpegDecodeLibrary(benchmark::State &state) {
  const std::vector<std::uint8_t> &bytes = Encoded();
  const bool fresh = state.range(0) != 0;
  std::vector<std::uint8_t> kept(static_cast<std::size_t>(kWidth) * 3 * kHeight);
  for (auto _ : state) {
    std::vector<std::uint8_t> pixels;
    if (fresh) pixels.resize(kept.size());
    std::vector<std::uint8_t> &target = fresh ? pixels : kept;
    jpeg_decompress_struct d{};
    jpeg_error_mgr errors;
    d.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, bytes.data(), bytes.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
      JSAMPROW row = target.data() + static_cast<std::size_t>(d.output_scanline) * kWidth * 3;
      jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    benchmark::DoNotOptimize(target.data());
  }
  SetRate(state);
}
BENCHMARK(JpegDecodeLibrary)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
