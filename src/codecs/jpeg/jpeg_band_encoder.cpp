#include "codecs/jpeg/jpeg_band_encoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "codecs/jpeg/jpeg_forward_dct.h"
#include "codecs/jpeg/jpeg_huffman_coder.h"
#include "codecs/jpeg/jpeg_kernels.h"
#include "runtime/spare_threads.h"

namespace qv {

namespace {

// MCU rows (16 picture rows each) per band: enough bands for a spare thread that comes late to
// find some left, few enough that joining them costs little.
constexpr int kBandMcuRows = 4;
// The most one MCU's six blocks can take: 64 codes of at most 27 bits each, and runs of zeros.
constexpr std::size_t kMcuBytesAtMost = 6 * (64 * 27 + 4 * 16) / 8 + 8;

using TBlock = std::array<std::int16_t, 64>;
using TMcu = std::array<TBlock, 6>;  // four Y blocks, left to right, top to bottom; Cb; Cr

struct TGeometry {
  int width, height;
  int mcu_columns, mcu_rows;
  int y_block_columns, y_block_rows;  // Y blocks inside the picture; the rest are padding
  int chroma_rows;                    // rows of Cb and Cr samples inside the picture
  int padded;                         // samples per full-size row: whole MCUs
};

// One MCU row's samples: Y at full size, Cb and Cr averaged 2x2 (each pair of rows converted
// into two scratch rows and averaged at once, so that little is held). Rows and columns past
// the picture repeat its last ones, as libjpeg pads them.
class TMcuRowPlanes {
 public:
  TMcuRowPlanes(const TGeometry& g, const TJpegKernels& kernels)
      : g_(g), kernels_(kernels), samples_(static_cast<std::size_t>(g.padded) * (16 + 4 + 8)) {}

  void Fill(const std::uint8_t* row0, std::ptrdiff_t step, int mcu_row) {
    const std::size_t size = static_cast<std::size_t>(g_.padded);
    const int first = mcu_row * 16;
    const int last_chroma = g_.chroma_rows - 1 - mcu_row * 8;
    for (int r = 0; r < 8; ++r) {
      if (r > last_chroma) {  // both rows below the picture
        for (int i = 2 * r; i < 2 * r + 2; ++i) std::memcpy(YRow(i), YRow(i - 1), size);
        for (int c = 1; c < 3; ++c) std::memcpy(Half(c, r), Half(c, r - 1), size / 2);
        continue;
      }
      for (int k = 0; k < 2; ++k) {
        const int i = 2 * r + k;
        if (first + i >= g_.height) {  // the picture's last row again
          std::memcpy(YRow(i), YRow(i - 1), size);
          for (int c = 1; c < 3; ++c) std::memcpy(Scratch(c, 1), Scratch(c, 0), size);
          continue;
        }
        std::uint8_t* rows[3] = {YRow(i), Scratch(1, k), Scratch(2, k)};
        kernels_.convert_bgr_to_ycc(row0 + step * (first + i), g_.width, rows[0], rows[1], rows[2]);
        for (auto* row : rows) std::fill(row + g_.width, row + g_.padded, row[g_.width - 1]);
      }
      for (int c = 1; c < 3; ++c)
        kernels_.downsample_rows(Scratch(c, 0), Scratch(c, 1), g_.padded / 2, Half(c, r));
    }
  }

  const std::uint8_t* Y(int row) const { return samples_.data() + Offset(row); }
  const std::uint8_t* Chroma(int c, int row) const { return samples_.data() + HalfOffset(c, row); }
  std::ptrdiff_t YStride() const { return g_.padded; }
  std::ptrdiff_t ChromaStride() const { return g_.padded / 2; }

 private:
  // 16 rows of Y, 2 scratch rows each of Cb and Cr, then 8 half rows each of averaged Cb and
  // Cr.
  std::size_t Offset(int full_rows) const {
    return static_cast<std::size_t>(full_rows) * static_cast<std::size_t>(g_.padded);
  }
  std::size_t HalfOffset(int c, int row) const {
    return Offset(20) + static_cast<std::size_t>((c - 1) * 8 + row) * g_.padded / 2;
  }
  std::uint8_t* YRow(int row) { return samples_.data() + Offset(row); }
  std::uint8_t* Scratch(int c, int k) { return samples_.data() + Offset(16 + 2 * (c - 1) + k); }
  std::uint8_t* Half(int c, int row) { return samples_.data() + HalfOffset(c, row); }

  const TGeometry& g_;
  const TJpegKernels& kernels_;
  std::vector<std::uint8_t> samples_;
};

// The quantized blocks of MCU column x of an MCU row. Y blocks past the picture's blocks are
// libjpeg's dummy blocks: no AC, and the DC of the block before them in the MCU.
void MakeMcu(const TJpegKernels& kernels, const TMcuRowPlanes& planes, const TGeometry& g,
             int mcu_row, int x, const std::array<TJpegDivisors, 3>& divisors, TMcu& mcu) {
  auto y_block = [&](int i) {
    return TJpegBlockSource{planes.Y(8 * (i / 2)) + 16 * x + 8 * (i % 2), planes.YStride(),
                            &divisors[0], mcu[i].data()};
  };
  auto chroma_block = [&](int c) {
    return TJpegBlockSource{planes.Chroma(c, 0) + 8 * x, planes.ChromaStride(), &divisors[c],
                            mcu[3 + c].data()};
  };
  kernels.forward_dct_pair(y_block(0), y_block(1));
  kernels.forward_dct_pair(y_block(2), y_block(3));
  kernels.forward_dct_pair(chroma_block(1), chroma_block(2));
  // The padding read for blocks past the picture's own is replaced by dummy blocks.
  for (int i = 1; i < 4; ++i) {
    if (2 * mcu_row + i / 2 >= g.y_block_rows || 2 * x + i % 2 >= g.y_block_columns) {
      mcu[i].fill(0);
      mcu[i][0] = mcu[i - 1][0];
    }
  }
}

void PutMcu(const TJpegKernels& kernels, TJpegBitString& bits, const TMcu& mcu,
            std::array<int, 3>& last_dc, const TJpegBaselineHeader& header) {
  for (int i = 0; i < 4; ++i)
    kernels.put_block(bits, mcu[i].data(), last_dc[0], header.dc[0], header.ac[0]);
  for (int c = 1; c < 3; ++c)
    kernels.put_block(bits, mcu[3 + c].data(), last_dc[c], header.dc[c], header.ac[c]);
}

// A band coded: its first MCU's blocks (coded when the band is joined, once the DC values
// before it are known), the bits of the rest, and the DC values it ends on.
struct TBand {
  TMcu first{};
  TJpegBitString rest;
  std::array<int, 3> last_dc{};
  bool done = false;
};

// Codes MCU rows [first, last) into band.
void CodeBand(const TJpegKernels& kernels, TBand& band, int first, int last, TMcuRowPlanes& planes,
              const TGeometry& g, const std::uint8_t* row0, std::ptrdiff_t step,
              const std::array<TJpegDivisors, 3>& divisors, const TJpegBaselineHeader& header) {
  // About what a band of a photo takes at middling qualities, so that it seldom grows.
  band.rest.Reserve(static_cast<std::size_t>(last - first) * g.mcu_columns * 96);
  TMcu mcu;
  std::array<int, 3> dc{};
  for (int row = first; row < last; ++row) {
    planes.Fill(row0, step, row);
    for (int x = 0; x < g.mcu_columns; ++x) {
      if (row == first && x == 0) {
        MakeMcu(kernels, planes, g, row, x, divisors, band.first);
        dc = {band.first[3][0], band.first[4][0], band.first[5][0]};
        continue;
      }
      MakeMcu(kernels, planes, g, row, x, divisors, mcu);
      band.rest.Reserve(kMcuBytesAtMost);
      PutMcu(kernels, band.rest, mcu, dc, header);
    }
  }
  band.last_dc = dc;
}

// Writes band after the bands before it, which ended on the DC values dc (they become the
// band's last ones).
void JoinBand(const TJpegKernels& kernels, TJpegScanWriter& writer, const TBand& band,
              std::array<int, 3>& dc, const TJpegBaselineHeader& header) {
  TJpegBitString head;
  head.Reserve(kMcuBytesAtMost);
  PutMcu(kernels, head, band.first, dc, header);
  writer.Append(head);
  writer.Append(band.rest);
  dc = band.last_dc;
}

}  // namespace

std::size_t JpegFileRoom(int width, int height) {
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) / 2 + 4096;
}

std::vector<std::uint8_t> EncodeJpegInBands(const TJpegKernels& kernels,
                                            const TJpegBaselineHeader& header,
                                            const std::uint8_t* row0, std::ptrdiff_t step,
                                            int width, int height,
                                            const std::function<void(int)>& progress,
                                            const TWorkContext& work) {
  TGeometry g{};
  g.width = width;
  g.height = height;
  g.mcu_columns = (width + 15) / 16;
  g.mcu_rows = (height + 15) / 16;
  g.y_block_columns = (width + 7) / 8;
  g.y_block_rows = (height + 7) / 8;
  g.chroma_rows = (height + 1) / 2;
  g.padded = g.mcu_columns * 16;
  const std::array<TJpegDivisors, 3> divisors = {TJpegDivisors(header.quant[0]),
                                                 TJpegDivisors(header.quant[1]),
                                                 TJpegDivisors(header.quant[2])};

  const int band_count = (g.mcu_rows + kBandMcuRows - 1) / kBandMcuRows;
  std::vector<std::unique_ptr<TBand>> bands(static_cast<std::size_t>(band_count));
  for (auto& band : bands) band = std::make_unique<TBand>();
  std::vector<std::uint8_t> out = header.ForSize(width, height);
  out.reserve(out.size() + JpegFileRoom(width, height));
  TJpegScanWriter writer(out);
  std::mutex join_mutex;
  // Sample planes for the threads at work, kept from band to band (fresh ones would be fresh
  // pages each time).
  std::vector<std::unique_ptr<TMcuRowPlanes>> spare_planes;
  int joined = 0;  // bands written to out, in order
  std::array<int, 3> dc_before{};
  const std::thread::id caller = std::this_thread::get_id();

  ForEachBand(work, g.mcu_rows, kBandMcuRows, [&](int first, int last) {
    TBand& band = *bands[static_cast<std::size_t>(first / kBandMcuRows)];
    std::unique_ptr<TMcuRowPlanes> own;
    {
      std::lock_guard lock(join_mutex);
      if (!spare_planes.empty()) {
        own = std::move(spare_planes.back());
        spare_planes.pop_back();
      }
    }
    if (!own) own = std::make_unique<TMcuRowPlanes>(g, kernels);
    CodeBand(kernels, band, first, last, *own, g, row0, step, divisors, header);
    int joined_now;
    {
      std::lock_guard lock(join_mutex);
      spare_planes.push_back(std::move(own));
      band.done = true;
      while (joined < band_count && bands[static_cast<std::size_t>(joined)]->done) {
        // Joined bands are let go at once.
        auto next = std::move(bands[static_cast<std::size_t>(joined)]);
        JoinBand(kernels, writer, *next, dc_before, header);
        ++joined;
      }
      joined_now = joined;
    }
    if (progress && std::this_thread::get_id() == caller) progress(joined_now * 100 / band_count);
  });
  writer.Finish();
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

}  // namespace qv
