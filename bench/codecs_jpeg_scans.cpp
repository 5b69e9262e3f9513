// What the scan limit buys: decoding a 2048 x 2048 grey picture through TJPEGImage as a baseline
// JPEG, and as progressive files of 11, 100 (the most allowed) and 704 scans (refused after the
// 100th). A file at the limit should cost a small multiple of the baseline decode.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <vector>

#include "codecs/jpeg/jpeg_image.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"
#include "support/many_scan_jpeg.h"

namespace {

constexpr int kSide = 2048;

// The file for a scan count (0: sequential), made once.
const std::vector<std::uint8_t> &File(int scans) {
  static std::map<int, std::vector<std::uint8_t>> files;
  auto found = files.find(scans);
  if (found == files.end())
    found = files.emplace(scans, qv::testing::MakeManyScanJpeg(kSide, kSide, scans)).first;
  return found->second;
}

void Decode(benchmark::State &state) {
  const int scans = static_cast<int>(state.range(0));
  const std::vector<std::uint8_t> &bytes = File(scans);
  bool refused = false;
  for (auto _ : state) {
    qv::TReadOnlyMemoryStream stream({bytes.data(), bytes.size()});
    qv::TJPEGImage jpeg;
    jpeg.LoadFromStream(stream);
    qv::TBitmap image;
    try {
      jpeg.AssignTo(image);
    } catch (const qv::EJPEG &) {
      refused = true;
    }
    benchmark::DoNotOptimize(image);
  }
  state.counters["bytes"] = static_cast<double>(bytes.size());
  state.SetLabel(refused ? "refused" : "decoded");
}

BENCHMARK(Decode)->Arg(0)->Arg(11)->Arg(100)->Arg(704)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
