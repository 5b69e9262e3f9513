// Benchmarks of the PNG encoder and decoder on a 4000 x 3000 24-bit picture, next to libpng
// doing the same work with the same settings (Sub filter, zlib level, 65535-byte IDAT buffer);
// and of the CRC-32 and Adler-32 code next to zlib's.
#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "codecs/png/png_object.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"
#include "simd/adler32.h"
#include "simd/crc32.h"

namespace {

using qv::TBitmap;
using qv::TPixelFormat;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A photo-like picture: smooth gradients with some noise.
const TBitmap& Photo() {
  static const TBitmap image = [] {
    TBitmap result;
    result.Allocate(kWidth, kHeight, TPixelFormat::pf24bit);
    std::mt19937 random(1);
    for (int y = 0; y < kHeight; ++y) {
      std::uint8_t* row = result.ScanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        int noise = static_cast<int>(random() % 24);
        row[3 * x] = static_cast<std::uint8_t>((x * 255 / kWidth + noise) & 0xFF);
        row[3 * x + 1] = static_cast<std::uint8_t>((y * 255 / kHeight + noise) & 0xFF);
        row[3 * x + 2] =
            static_cast<std::uint8_t>(((x + y) * 128 / (kWidth + kHeight) + noise) & 0xFF);
      }
    }
    return result;
  }();
  return image;
}

std::vector<std::uint8_t> EncodeOurs(int level) {
  qv::TPNGObject png;
  png.SetCompressionLevel(level);
  png.AssignBitmap(Photo());
  qv::TMemoryStream stream;
  png.SaveToStream(stream);
  return std::move(stream.Bytes());
}

void PngEncode(benchmark::State& state) {
  int level = static_cast<int>(state.range(0));
  std::size_t size = 0;
  for (auto _ : state) size = EncodeOurs(level).size();
  state.counters["MPix/s"] =
      benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(PngEncode)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond)->UseRealTime();

void PngDecode(benchmark::State& state) {
  static const std::vector<std::uint8_t> file = EncodeOurs(6);
  for (auto _ : state) {
    qv::TReadOnlyMemoryStream stream(file);
    qv::TPNGObject png;
    png.LoadFromStream(stream);
    TBitmap image;
    png.AssignTo(image);
    benchmark::DoNotOptimize(image.Bits());
  }
  state.counters["MPix/s"] =
      benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(PngDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- libpng doing the same: RGB rows from the picture, Sub filter, the same zlib settings.

struct Sink {
  std::vector<std::uint8_t> bytes;
};
void SinkWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  sink->bytes.insert(sink->bytes.end(), data, data + length);
}
void SinkFlush(png_structp) {}

struct Source {
  const std::vector<std::uint8_t>* bytes;
  std::size_t at;
};
void SourceRead(png_structp png, png_bytep data, png_size_t length) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  std::size_t n = std::min(length, source->bytes->size() - source->at);
  std::memcpy(data, source->bytes->data() + source->at, n);
  source->at += n;
  if (n < length) png_error(png, "short read");
}

// RGB rows top first, as libpng wants them.
const std::vector<std::uint8_t>& RgbRows() {
  static const std::vector<std::uint8_t> rows = [] {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
      const std::uint8_t* p = Photo().ScanLine(y);
      std::uint8_t* q = out.data() + static_cast<std::size_t>(y) * kWidth * 3;
      for (int x = 0; x < kWidth; ++x) {
        q[3 * x] = p[3 * x + 2];
        q[3 * x + 1] = p[3 * x + 1];
        q[3 * x + 2] = p[3 * x];
      }
    }
    return out;
  }();
  return rows;
}

void LibpngEncode(benchmark::State& state) {
  int level = static_cast<int>(state.range(0));
  const auto& rgb = RgbRows();
  std::vector<png_bytep> rows(kHeight);
  for (int y = 0; y < kHeight; ++y)
    rows[y] = const_cast<png_bytep>(rgb.data() + static_cast<std::size_t>(y) * kWidth * 3);
  std::size_t size = 0;
  for (auto _ : state) {
    Sink sink;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &sink, SinkWrite, SinkFlush);
    png_set_compression_level(png, level);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_buffer_size(png, 65535);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    size = sink.bytes.size();
  }
  state.counters["MPix/s"] =
      benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(LibpngEncode)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond)->UseRealTime();

void LibpngDecode(benchmark::State& state) {
  static const std::vector<std::uint8_t> file = EncodeOurs(6);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kWidth) * kHeight * 3);
  std::vector<png_bytep> rows(kHeight);
  for (int y = 0; y < kHeight; ++y)
    rows[y] = pixels.data() + static_cast<std::size_t>(y) * kWidth * 3;
  for (auto _ : state) {
    Source source{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &source, SourceRead);
    png_read_info(png, info);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.counters["MPix/s"] =
      benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(LibpngDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- The checksums the decoder runs over its input (chunk CRCs) and output (Adler-32), ours
// beside zlib's, on 64 KiB of random bytes (the size decides little above a few KiB).

const std::vector<std::uint8_t>& ChecksumBytes() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> out(std::size_t{64} << 10);
    std::mt19937 random(2);
    for (std::uint8_t& b : out) b = static_cast<std::uint8_t>(random());
    return out;
  }();
  return bytes;
}

template <typename Checksum>
void RunChecksum(benchmark::State& state, Checksum checksum) {
  const auto& bytes = ChecksumBytes();
  std::uint32_t value = 0;
  for (auto _ : state) {
    value = checksum(value, bytes.data(), bytes.size());
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void Crc32Ours(benchmark::State& state) { RunChecksum(state, qv::Crc32); }
void Crc32Zlib(benchmark::State& state) {
  RunChecksum(state, [](std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    return static_cast<std::uint32_t>(crc32_z(crc, p, n));
  });
}
void Adler32Ours(benchmark::State& state) { RunChecksum(state, qv::Adler32); }
void Adler32Zlib(benchmark::State& state) {
  RunChecksum(state, [](std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
    return static_cast<std::uint32_t>(adler32_z(adler, p, n));
  });
}
BENCHMARK(Crc32Ours);
BENCHMARK(Crc32Zlib);
BENCHMARK(Adler32Ours);
BENCHMARK(Adler32Zlib);

}  // namespace

BENCHMARK_MAIN();
