// Benchmarks of the resamplers, sepia toning and the colour reduction on photo-sized images.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "imaging/abitmap.h"
#include "imaging/bilinear_stretch.h"
#include "imaging/bitmap.h"
#include "imaging/filtered_resample.h"
#include "imaging/fixed_point_bilinear_resize.h"
#include "imaging/reduce_colors.h"
#include "imaging/resample_filters.h"
#include "imaging/sepia.h"

namespace {

using qv::TBitmap;
using qv::TPixelFormat;

// A photo-like 24-bit picture: smooth gradients with some noise, so the colour histogram is
// spread as in a real photo.
TBitmap Photo(int width, int height) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  std::mt19937 random(1);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      int noise = static_cast<int>(random() % 24);
      row[3 * x] = static_cast<std::uint8_t>((x * 255 / width + noise) & 0xFF);
      row[3 * x + 1] = static_cast<std::uint8_t>((y * 255 / height + noise) & 0xFF);
      row[3 * x + 2] =
          static_cast<std::uint8_t>(((x + y) * 127 / (width + height) + 2 * noise) & 0xFF);
    }
  }
  return image;
}

const TBitmap& Source(int width, int) {
  static const TBitmap large = Photo(4000, 3000);
  static const TBitmap small = Photo(640, 480);
  return width == 4000 ? large : small;
}

void SetRates(benchmark::State& state, int src_w, int src_h, int dst_w, int dst_h) {
  state.counters["src_MP/s"] = benchmark::Counter(src_w * static_cast<double>(src_h) / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
  state.counters["dst_MP/s"] = benchmark::Counter(dst_w * static_cast<double>(dst_h) / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

// Arguments: source width, source height, destination width, destination height, filter row.
void BM_FilteredResample(benchmark::State& state) {
  int sw = static_cast<int>(state.range(0)), sh = static_cast<int>(state.range(1));
  int dw = static_cast<int>(state.range(2)), dh = static_cast<int>(state.range(3));
  const qv::TResampleFilter& filter =
      qv::ResampleFilterTable[static_cast<std::size_t>(state.range(4))];
  TBitmap source = Source(sw, sh);
  TBitmap dest;
  dest.Allocate(dw, dh, TPixelFormat::pf24bit);
  for (auto _ : state) {
    qv::FilteredResample(source, dest, filter.kernel, filter.support);
    benchmark::DoNotOptimize(dest.Bits());
  }
  SetRates(state, sw, sh, dw, dh);
}

void BM_FilteredResamplePortable(benchmark::State& state) {
  int sw = static_cast<int>(state.range(0)), sh = static_cast<int>(state.range(1));
  int dw = static_cast<int>(state.range(2)), dh = static_cast<int>(state.range(3));
  const qv::TResampleFilter& filter =
      qv::ResampleFilterTable[static_cast<std::size_t>(state.range(4))];
  TBitmap source = Source(sw, sh);
  TBitmap dest;
  dest.Allocate(dw, dh, TPixelFormat::pf24bit);
  for (auto _ : state) {
    qv::FilteredResample(source, dest, filter.kernel, filter.support,
                         qv::TArithmeticPath::kExtended);
    benchmark::DoNotOptimize(dest.Bits());
  }
  SetRates(state, sw, sh, dw, dh);
}

void BM_BilinearStretch(benchmark::State& state) {
  int sw = static_cast<int>(state.range(0)), sh = static_cast<int>(state.range(1));
  int dw = static_cast<int>(state.range(2)), dh = static_cast<int>(state.range(3));
  const TBitmap& source = Source(sw, sh);
  for (auto _ : state) {
    TBitmap result = qv::BilinearStretch(source, dw, dh);
    benchmark::DoNotOptimize(result.Bits());
  }
  SetRates(state, sw, sh, dw, dh);
}

void BM_FixedPointBilinearResize(benchmark::State& state) {
  int sw = static_cast<int>(state.range(0)), sh = static_cast<int>(state.range(1));
  int dw = static_cast<int>(state.range(2)), dh = static_cast<int>(state.range(3));
  qv::TABitmap source;
  source.Assign(&Source(sw, sh));
  qv::TABitmap dest;
  dest.SetSize(dw, dh);
  for (auto _ : state) {
    qv::FixedPointBilinearResize(dw, dh, source, 0, 0, sw, sh, 0, 0, dest);
    benchmark::DoNotOptimize(dest.ScanLine(0));
  }
  SetRates(state, sw, sh, dw, dh);
}

void BM_ReduceColors(benchmark::State& state) {
  const TBitmap& source = Source(4000, 3000);
  for (auto _ : state) {
    TBitmap result = qv::ReduceColors(source, 8);
    benchmark::DoNotOptimize(result.Bits());
  }
  SetRates(state, 4000, 3000, 4000, 3000);
}

void BM_ApplySepia(benchmark::State& state) {
  TBitmap image = Source(4000, 3000);
  image.ScanLine(0);  // a private buffer, so the loop measures the toning alone
  for (auto _ : state) {
    qv::ApplySepia(image);
    benchmark::DoNotOptimize(image.Bits());
  }
  SetRates(state, 4000, 3000, 4000, 3000);
}

// The contribution lists of one axis (source extent, destination extent, filter row).
void BM_BuildContributions(benchmark::State& state) {
  const auto source = static_cast<int>(state.range(0));
  const auto dest = static_cast<int>(state.range(1));
  const qv::TResampleFilter& filter =
      qv::ResampleFilterTable[static_cast<std::size_t>(state.range(2))];
  for (auto _ : state) {
    qv::TContributionLists lists = qv::BuildContributions(qv::ResampleScale(dest, source), source,
                                                          dest, filter.kernel, filter.support);
    benchmark::DoNotOptimize(lists.entries.data());
  }
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({4000, 3000, 640, 480})->Args({4000, 3000, 1600, 1200})->Args({640, 480, 1600, 1200});
}

void FilterSizes(benchmark::internal::Benchmark* b) {
  for (int row : {1, 0})
    b->Args({4000, 3000, 640, 480, row})
        ->Args({4000, 3000, 1600, 1200, row})
        ->Args({640, 480, 1600, 1200, row});
}

BENCHMARK(BM_FilteredResample)->Apply(FilterSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilteredResamplePortable)
    ->Args({4000, 3000, 640, 480, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildContributions)
    ->Args({4000, 640, 1})
    ->Args({11320, 1600, 1})
    ->Args({4000, 640, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BilinearStretch)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FixedPointBilinearResize)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceColors)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplySepia)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
