// The bilinear stretch: footprint integration over a bilinear surface with 64-bit floats.
#include "imaging/bilinear_stretch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/spare_threads.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QV_STRETCH_X86 1
#endif

namespace qv {

namespace {

constexpr char kModule[] = "BitmapUtils";
constexpr int kAssertLine = 1066;
// One millionth short of the nominal far edge, as an extended constant.
constexpr long double kFarEdge = 0.500001L;

// The overlap of one destination footprint with one interpolation cell along one axis: the two
// clamped source indices bounding the cell, the overlap's length and its centre from the cell.
struct TCellSpan {
  int low;   // pixel index of the cell's near corner (row or column)
  int high;  // pixel index of its far corner
  double length;
  double centre;
};

// The cell spans of every destination position of one axis; list i is spans[first[i]] ..
struct TAxisSpans {
  std::vector<std::size_t> first;
  std::vector<TCellSpan> spans;
};

TAxisSpans BuildAxis(double ratio, int source_extent, int dest_extent) {
  TAxisSpans axis;
  axis.first.resize(static_cast<std::size_t>(dest_extent) + 1);
  long double cells_per_position = std::ceil(static_cast<long double>(ratio)) + 2.0L;
  if (cells_per_position * dest_extent > static_cast<long double>(std::size_t{1} << 26))
    throw EOutOfMemory();
  axis.spans.reserve(static_cast<std::size_t>(cells_per_position * dest_extent));
  int last = source_extent - 1;
  for (int d = 0; d < dest_extent; ++d) {
    axis.first[static_cast<std::size_t>(d)] = axis.spans.size();
    auto x0 = static_cast<double>(static_cast<long double>(d) * ratio - 0.5L);
    auto x1 = static_cast<double>(static_cast<long double>(ratio) * (d + 1) - kFarEdge);
    auto first_cell = static_cast<std::int64_t>(std::floor(x0));
    auto last_cell = static_cast<std::int64_t>(std::floor(x1));
    for (std::int64_t cell = first_cell; cell <= last_cell; ++cell) {
      long double c = static_cast<long double>(cell);
      long double lx0 = x0, lx1 = x1;
      double length, centre;
      bool starts_before = c > lx0;       // the cell begins after the footprint's near edge
      bool ends_before = c + 1.0L < lx1;  // the cell ends before the footprint's far edge
      if (starts_before && ends_before) {
        length = 1.0;
        centre = 0.5;
      } else if (ends_before) {
        length = static_cast<double>(1.0L - (lx0 - c));
        centre = static_cast<double>(((lx0 - c) + 1.0L) / 2.0L);
      } else if (starts_before) {
        length = static_cast<double>(lx1 - c);
        centre = length / 2.0;
      } else {
        length = static_cast<double>(lx1 - lx0);
        centre = static_cast<double>(((lx1 - c) + (lx0 - c)) / 2.0L);
      }
      int low = static_cast<int>(std::clamp<std::int64_t>(cell, 0, last));
      int high = static_cast<int>(std::clamp<std::int64_t>(cell + 1, 0, last));
      axis.spans.push_back({low, high, length, centre});
    }
  }
  axis.first[static_cast<std::size_t>(dest_extent)] = axis.spans.size();
  return axis;
}

// The pixels of one destination row, the cell spans of its rows and of every column given.
struct TRowJob {
  const std::vector<const std::uint8_t*>* src_rows;
  const TAxisSpans* columns;
  const TCellSpan* ybegin;
  const TCellSpan* yend;
  double area;
  int width;
  std::uint8_t* out;
};

std::uint8_t ToByte(long double value) {
  // The surface lies within 0..255 and the footprint falls short of the area, so the clamp only
  // guards against the last unit of a rounding.
  return static_cast<std::uint8_t>(std::clamp(std::rint(value), 0.0L, 255.0L));
}

// The arithmetic as written: each statement in x87 extended precision, stored as a double.
void StretchRowExtended(const TRowJob& job) {
  for (int x = 0; x < job.width; ++x) {
    const TCellSpan* xbegin =
        job.columns->spans.data() + job.columns->first[static_cast<std::size_t>(x)];
    const TCellSpan* xend =
        job.columns->spans.data() + job.columns->first[static_cast<std::size_t>(x) + 1];
    double acc[3] = {0.0, 0.0, 0.0};
    for (const TCellSpan* ys = job.ybegin; ys != job.yend; ++ys) {
      const std::uint8_t* upper = (*job.src_rows)[static_cast<std::size_t>(ys->low)];
      const std::uint8_t* lower = (*job.src_rows)[static_cast<std::size_t>(ys->high)];
      long double ly = ys->length, my = ys->centre;
      for (const TCellSpan* xs = xbegin; xs != xend; ++xs) {
        const std::uint8_t* p00 = upper + 3 * xs->low;
        const std::uint8_t* p10 = upper + 3 * xs->high;
        const std::uint8_t* p01 = lower + 3 * xs->low;
        const std::uint8_t* p11 = lower + 3 * xs->high;
        long double lx = xs->length, mx = xs->centre;
        for (int c = 0; c < 3; ++c) {
          long double a = p00[c];
          long double bx = p10[c] - p00[c];
          long double by = p01[c] - p00[c];
          long double bxy = p11[c] - p10[c] - p01[c] + p00[c];
          acc[c] = static_cast<double>(acc[c] + lx * ly * (bx * mx + bxy * mx * my + by * my + a));
        }
      }
    }
    for (int c = 0; c < 3; ++c)
      job.out[3 * x + c] = ToByte(static_cast<long double>(acc[c]) / job.area);
  }
}

#ifdef QV_STRETCH_X86

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

// The same statements with every operation in 64-bit floats, the three channels (and an unused
// fourth) side by side. It differs from the extended form only below the last unit of a double,
// which changes a byte only for a mean within about 1e-13 of a half; the footprint's shortfall
// keeps the exact halves of regular pictures about 1e-6 away from that.
__attribute__((target("avx2"))) inline __m256d Corner(const std::uint8_t* p,
                                                      const std::uint8_t* safe_end) {
  std::int32_t v;
  if (p < safe_end) {
    std::memcpy(&v, p, 4);  // the fourth byte belongs to the next pixel and is not used
  } else {
    v = p[0] | (p[1] << 8) | (p[2] << 16);
  }
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
}

__attribute__((target("avx2"))) void StretchRowDouble(const TRowJob& job,
                                                      const std::uint8_t* safe_end) {
  const __m256d area = _mm256_set1_pd(job.area);
  for (int x = 0; x < job.width; ++x) {
    const TCellSpan* xbegin =
        job.columns->spans.data() + job.columns->first[static_cast<std::size_t>(x)];
    const TCellSpan* xend =
        job.columns->spans.data() + job.columns->first[static_cast<std::size_t>(x) + 1];
    __m256d acc = _mm256_setzero_pd();
    for (const TCellSpan* ys = job.ybegin; ys != job.yend; ++ys) {
      const std::uint8_t* upper = (*job.src_rows)[static_cast<std::size_t>(ys->low)];
      const std::uint8_t* lower = (*job.src_rows)[static_cast<std::size_t>(ys->high)];
      const __m256d ly = _mm256_set1_pd(ys->length), my = _mm256_set1_pd(ys->centre);
      for (const TCellSpan* xs = xbegin; xs != xend; ++xs) {
        __m256d p00 = Corner(upper + 3 * xs->low, safe_end);
        __m256d p10 = Corner(upper + 3 * xs->high, safe_end);
        __m256d p01 = Corner(lower + 3 * xs->low, safe_end);
        __m256d p11 = Corner(lower + 3 * xs->high, safe_end);
        // Differences of small integers: exact in doubles, in the same order as written.
        __m256d bx = _mm256_sub_pd(p10, p00);
        __m256d by = _mm256_sub_pd(p01, p00);
        __m256d bxy = _mm256_add_pd(_mm256_sub_pd(_mm256_sub_pd(p11, p10), p01), p00);
        const __m256d lx = _mm256_set1_pd(xs->length), mx = _mm256_set1_pd(xs->centre);
        __m256d value =
            _mm256_add_pd(_mm256_mul_pd(bx, mx), _mm256_mul_pd(_mm256_mul_pd(bxy, mx), my));
        value = _mm256_add_pd(_mm256_add_pd(value, _mm256_mul_pd(by, my)), p00);
        acc = _mm256_add_pd(acc, _mm256_mul_pd(_mm256_mul_pd(lx, ly), value));
      }
    }
    // Round to nearest even (the default mode), then clamp.
    __m128i bytes = _mm256_cvtpd_epi32(_mm256_div_pd(acc, area));
    bytes = _mm_min_epi32(_mm_max_epi32(bytes, _mm_setzero_si128()), _mm_set1_epi32(255));
    alignas(16) std::int32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), bytes);
    job.out[3 * x] = static_cast<std::uint8_t>(lanes[0]);
    job.out[3 * x + 1] = static_cast<std::uint8_t>(lanes[1]);
    job.out[3 * x + 2] = static_cast<std::uint8_t>(lanes[2]);
  }
}

#endif  // QV_STRETCH_X86

}  // namespace

TBitmap BilinearStretch(const TBitmap& source, int dst_width, int dst_height, TStretchPath path) {
  int src_width = source.Width();
  int src_height = source.Height();
  Assert(src_width >= 1 && src_height >= 1 && !source.Empty(), kModule, kAssertLine);
  Assert(dst_width >= 1 && dst_height >= 1, kModule, kAssertLine);
  auto xr = static_cast<double>(static_cast<long double>(src_width) / dst_width);
  auto yr = static_cast<double>(static_cast<long double>(src_height) / dst_height);
  auto area = static_cast<double>(
      static_cast<long double>(static_cast<std::int64_t>(src_width) * src_height) / dst_width /
      dst_height);

  TBitmap result;
  result.Allocate(dst_width, dst_height, TPixelFormat::pf24bit);
  TBitmap copy = source;  // shares the pixels until converted; source itself is never written
  copy.SetPixelFormat(TPixelFormat::pf24bit);

  // Row start addresses, looked up once.
  std::vector<const std::uint8_t*> src_rows(static_cast<std::size_t>(src_height));
  const TBitmap& readable = copy;
  const std::uint8_t* src0 = readable.ScanLine(0);
  for (int y = 0; y < src_height; ++y)
    src_rows[static_cast<std::size_t>(y)] = src0 + y * copy.RowStep();
  std::vector<std::uint8_t*> dst_rows(static_cast<std::size_t>(dst_height));
  std::uint8_t* dst0 = result.ScanLine(0);
  for (int y = 0; y < dst_height; ++y)
    dst_rows[static_cast<std::size_t>(y)] = dst0 + y * result.RowStep();

  TAxisSpans columns = BuildAxis(xr, src_width, dst_width);
  TAxisSpans rows = BuildAxis(yr, src_height, dst_height);

#ifdef QV_STRETCH_X86
  // A pixel whose four-byte load would pass the end of the buffer is read byte by byte.
  const std::uint8_t* safe_end = readable.Bits() + readable.BitsSize() - 3;
  bool use_vector = path == TStretchPath::kFastest && HasAvx2();
#else
  (void)path;
#endif
  // Bands of rows that spare threads may take (runtime/spare_threads.h).
  ForEachBand(dst_height, 16, [&](int first, int last) {
    for (int y = first; y < last; ++y) {
      TRowJob job{&src_rows,
                  &columns,
                  rows.spans.data() + rows.first[static_cast<std::size_t>(y)],
                  rows.spans.data() + rows.first[static_cast<std::size_t>(y) + 1],
                  area,
                  dst_width,
                  dst_rows[static_cast<std::size_t>(y)]};
#ifdef QV_STRETCH_X86
      if (use_vector) {
        StretchRowDouble(job, safe_end);
        continue;
      }
#endif
      StretchRowExtended(job);
    }
  });
  return result;
}

// The spans of both axes and the form of the row, worked out once for all the rows.
struct TBilinearStretchRows::TPlan {
  TAxisSpans columns;
  TAxisSpans rows;
  double area;
  bool use_vector;
};

TBilinearStretchRows::TBilinearStretchRows(int src_width, int src_height, int dst_width,
                                           int dst_height, TStretchPath path)
    : src_width_(src_width),
      src_height_(src_height),
      dst_width_(dst_width),
      dst_height_(dst_height) {
  Assert(src_width >= 1 && src_height >= 1, kModule, kAssertLine);
  Assert(dst_width >= 1 && dst_height >= 1, kModule, kAssertLine);
  // The ratios and the area as BilinearStretch has them.
  auto xr = static_cast<double>(static_cast<long double>(src_width) / dst_width);
  auto yr = static_cast<double>(static_cast<long double>(src_height) / dst_height);
  auto area = static_cast<double>(
      static_cast<long double>(static_cast<std::int64_t>(src_width) * src_height) / dst_width /
      dst_height);
  bool use_vector = false;
#ifdef QV_STRETCH_X86
  use_vector = path == TStretchPath::kFastest && HasAvx2();
#else
  (void)path;
#endif
  plan_ = std::make_unique<TPlan>(TPlan{BuildAxis(xr, src_width, dst_width),
                                        BuildAxis(yr, src_height, dst_height), area, use_vector});
}

TBilinearStretchRows::~TBilinearStretchRows() = default;

TRowSpan TBilinearStretchRows::RowsRead(int y) const {
  const TAxisSpans& rows = plan_->rows;
  TRowSpan span{src_height_, -1};
  for (std::size_t k = rows.first[static_cast<std::size_t>(y)];
       k < rows.first[static_cast<std::size_t>(y) + 1]; ++k) {
    span.first = std::min(span.first, rows.spans[k].low);
    span.last = std::max(span.last, rows.spans[k].high);
  }
  return span;
}

void TBilinearStretchRows::MakeRow(const TSourceRows& source, int y, std::uint8_t* out) const {
  const TAxisSpans& rows = plan_->rows;
  TRowJob job{source.rows,
              &plan_->columns,
              rows.spans.data() + rows.first[static_cast<std::size_t>(y)],
              rows.spans.data() + rows.first[static_cast<std::size_t>(y) + 1],
              plan_->area,
              dst_width_,
              out};
#ifdef QV_STRETCH_X86
  if (plan_->use_vector) {
    StretchRowDouble(job, source.safe_end);
    return;
  }
#endif
  StretchRowExtended(job);
}

}  // namespace qv
