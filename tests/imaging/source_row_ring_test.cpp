// Tests of the streamed bilinear resizes: rows fed through the ring in chunks give every byte of
// the resize of the whole picture.
#include "imaging/source_row_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "imaging/abitmap.h"
#include "imaging/bilinear_stretch.h"
#include "imaging/fixed_point_bilinear_resize.h"
#include "imaging/image_helpers.h"
#include "runtime/exceptions.h"

namespace qv {
namespace {

using testing::PixelBytes;

// Feeds picture (24-bit) to a ring over resizer in chunks of the given heights (cycled).
TBitmap Streamed(const TBitmap& picture, const IRowResizer& resizer, int width, TPixelFormat format,
                 const std::vector<int>& chunks) {
  TBitmap dest;
  dest.Allocate(width, resizer.DestHeight(), format);
  const int most = *std::max_element(chunks.begin(), chunks.end());
  TSourceRowRing ring(resizer, dest, most);
  for (std::size_t c = 0; ring.NextRow() < picture.Height(); ++c) {
    const int y = ring.NextRow();
    const int count = std::min(chunks[c % chunks.size()], picture.Height() - y);
    // The chunk as a decoder holds it: rows top-down, a step of its own.
    const std::ptrdiff_t step = 3 * picture.Width() + 5;
    std::vector<std::uint8_t> band(static_cast<std::size_t>(count * step));
    for (int r = 0; r < count; ++r)
      std::memcpy(band.data() + r * step, picture.ScanLine(y + r), 3 * picture.Width());
    ring.TakeRows(band.data(), step, count);
  }
  ring.Finish();
  return dest;
}

TBitmap WholeFixedPoint(const TBitmap& picture, int width, int height) {
  TABitmap source;
  source.Assign(&picture);
  TABitmap dest;
  dest.SetSize(width, height);
  FixedPointBilinearResize(width, height, source, 0, 0, source.Width(), source.Height(), 0, 0,
                           dest);
  return dest.Bitmap();
}

struct SizeCase {
  int src_width, src_height, width, height;
};

std::string Name(const SizeCase& c) {
  return std::to_string(c.src_width) + "x" + std::to_string(c.src_height) + " to " +
         std::to_string(c.width) + "x" + std::to_string(c.height);
}

// Enlarging and reducing, by whole and odd factors, one axis each way; one-row and one-column
// pictures and targets; the same size (the fixed-point method's creeping steps and its mirrored
// tail rows); a picture tall enough that the ring wraps many times.
constexpr SizeCase kSizes[] = {
    {37, 23, 16, 12},   {16, 12, 37, 23},   {2, 1, 4, 1},      {1, 1, 5, 3},     {2, 2, 1, 1},
    {1, 40, 7, 9},      {40, 1, 9, 7},      {41, 33, 1, 5},    {41, 33, 5, 1},   {29, 31, 29, 31},
    {13, 2, 13, 8},     {300, 701, 17, 61}, {23, 97, 61, 449}, {5, 211, 3, 210}, {7, 9, 301, 5},
    {57, 300, 56, 299}, {19, 512, 19, 1},
};

TEST(SourceRowRing, BilinearStretchGivesTheWholePicturesBytes) {
  for (const SizeCase& c : kSizes) {
    const TBitmap picture = testing::Random24(c.src_width, c.src_height, c.src_height * 31u);
    for (TArithmeticPath path : {TArithmeticPath::kFastest, TArithmeticPath::kExtended}) {
      const TBitmap whole = BilinearStretch(picture, c.width, c.height, path);
      const TBilinearStretchRows rows(c.src_width, c.src_height, c.width, c.height, path);
      ASSERT_TRUE(TSourceRowRing::Streams(rows));
      for (const std::vector<int>& chunks : {std::vector<int>{1}, {16}, {3, 1, 7}}) {
        const TBitmap streamed = Streamed(picture, rows, c.width, TPixelFormat::pf24bit, chunks);
        EXPECT_EQ(PixelBytes(streamed), PixelBytes(whole))
            << Name(c) << (path == TArithmeticPath::kFastest ? " fastest" : " extended")
            << " chunks of " << chunks[0];
      }
    }
  }
}

TEST(SourceRowRing, FixedPointResizeGivesTheWholePicturesBytes) {
  for (const SizeCase& c : kSizes) {
    const TBitmap picture = testing::Random24(c.src_width, c.src_height, c.src_width * 17u);
    const TFixedPointRows rows(c.src_width, c.src_height, c.width, c.height);
    if (c.src_height == 1) {
      // The mirrored tail reads the row above the only one: the whole picture fails, and the
      // stream refuses it.
      EXPECT_THROW(WholeFixedPoint(picture, c.width, c.height), EInvalidGraphicOperation);
      EXPECT_FALSE(TSourceRowRing::Streams(rows)) << Name(c);
      TBitmap dest;
      dest.Allocate(c.width, c.height, TPixelFormat::pf32bit);
      EXPECT_THROW(TSourceRowRing(rows, dest, 4), std::logic_error);
      continue;
    }
    const TBitmap whole = WholeFixedPoint(picture, c.width, c.height);
    ASSERT_TRUE(TSourceRowRing::Streams(rows)) << Name(c);
    for (const std::vector<int>& chunks : {std::vector<int>{1}, {16}, {5, 2}}) {
      const TBitmap streamed = Streamed(picture, rows, c.width, TPixelFormat::pf32bit, chunks);
      EXPECT_EQ(PixelBytes(streamed), PixelBytes(whole)) << Name(c) << " chunks of " << chunks[0];
    }
  }
}

}  // namespace
}  // namespace qv
