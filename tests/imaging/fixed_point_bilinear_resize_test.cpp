// Tests of the fixed-point bilinear resize: its truncating bytes, runs, mirrored tail and clipping.
#include "imaging/fixed_point_bilinear_resize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "imaging/abitmap.h"
#include "imaging/blend_row.h"
#include "imaging/image_helpers.h"
#include "runtime/exceptions.h"

namespace qv {
namespace {

using Pixel = std::array<std::uint8_t, 4>;

TABitmap Make32(int width, int height, const std::function<Pixel(int, int)>& colour) {
  TABitmap image;
  image.SetSize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      Pixel p = colour(x, y);
      std::copy(p.begin(), p.end(), image.ScanLine(y) + 4 * x);
    }
  return image;
}

Pixel At32(const TABitmap& image, int x, int y) {
  const std::uint8_t* p = image.ScanLine(y) + 4 * x;
  return {p[0], p[1], p[2], p[3]};
}

TABitmap WholeResize(const TABitmap& source, int width, int height) {
  TABitmap dest;
  dest.SetSize(width, height);
  FixedPointBilinearResize(width, height, source, 0, 0, source.Width(), source.Height(), 0, 0,
                           dest);
  return dest;
}

struct ByteCase {
  std::uint8_t in, out;
};

class FlatSource : public ::testing::TestWithParam<ByteCase> {};

TEST_P(FlatSource, DarkensByTheTruncations) {
  std::uint8_t v = GetParam().in;
  TABitmap source = Make32(5, 4, [v](int, int) { return Pixel{v, v, v, v}; });
  for (auto [w, h] : {std::pair{3, 7}, {9, 9}, {5, 4}}) {
    TABitmap result = WholeResize(source, w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::uint8_t o = GetParam().out;
        ASSERT_EQ(At32(result, x, y), (Pixel{o, o, o, o})) << w << "x" << h;
      }
  }
}

// 255 x 255 >> 8 = 254, 254 x 255 >> 8 = 253.
INSTANTIATE_TEST_SUITE_P(Bytes, FlatSource,
                         ::testing::Values(ByteCase{255, 253}, ByteCase{1, 0}, ByteCase{128, 126},
                                           ByteCase{0, 0}),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return "byte" + std::to_string(c.in);
                         });

TEST(FixedPointResize, TwoRowsToEightMirrorTheTail) {
  // ystep = 16383: weights 0, 63, 127, 191 in the four main rows between rows 0 and 1, then the
  // same weights towards row 0 again in the four tail rows.
  TABitmap source = Make32(1, 2, [](int, int y) {
    auto v = static_cast<std::uint8_t>(y == 0 ? 0 : 200);
    return Pixel{v, v, v, 0};
  });
  TABitmap result = WholeResize(source, 1, 8);
  const int expected[8] = {0, 48, 98, 148, 198, 149, 99, 49};
  for (int y = 0; y < 8; ++y) {
    EXPECT_EQ(At32(result, 0, y)[1], expected[y]) << y;
    EXPECT_EQ(At32(result, 0, y)[3], 0) << "the fourth byte is interpolated like the others";
  }
}

TEST(FixedPointResize, SameWidthBlendsWithWeightsCreepingDown) {
  // xstep = 65535: column i >= 1 blends columns i - 1 and i with weight 256 - ceil(i / 256) on i.
  TABitmap source = Make32(600, 2, [](int x, int) {
    auto v = static_cast<std::uint8_t>(x % 2 ? 200 : 100);
    return Pixel{v, v, v, 0};
  });
  TABitmap result = WholeResize(source, 600, 2);
  auto expect = [&](int i) {
    unsigned fx = i == 0 ? 0 : 256 - (i + 255) / 256;
    unsigned left = i == 0 ? 100 : (i - 1) % 2 ? 200 : 100;
    unsigned self = i % 2 ? 200 : 100;
    unsigned top = (left * (255 - fx) + self * fx) >> 8;
    if (i == 0) top = (100 * 255) >> 8;
    return static_cast<int>((top * 255) >> 8);  // both rows alike, fy = 0
  };
  for (int i : {0, 1, 2, 255, 256, 257, 511, 512, 513, 597})
    EXPECT_EQ(At32(result, i, 0)[0], expect(i)) << i;
  // ncols = (599 x 65535) >> 16 = 598: the first tail column repeats the last main one.
  EXPECT_EQ(At32(result, 598, 0), At32(result, 597, 0));
}

TEST(FixedPointResize, SameHeightEndsWithTheLastRowAlone) {
  TABitmap source = Make32(3, 4, [](int, int y) {
    auto v = static_cast<std::uint8_t>(60 * y);
    return Pixel{v, v, v, 0};
  });
  TABitmap result = WholeResize(source, 3, 4);
  // The single tail row has weight 0 on the row above: 180 x 255 >> 8 twice.
  EXPECT_EQ(At32(result, 1, 3)[2], ((180 * 255 >> 8) * 255) >> 8);
}

TEST(FixedPointResize, SingleRowSourceFailsAtTheMirroredTail) {
  TABitmap source = Make32(4, 1, [](int, int) { return Pixel{1, 2, 3, 4}; });
  TABitmap dest;
  dest.SetSize(8, 2);
  EXPECT_THROW(FixedPointBilinearResize(8, 2, source, 0, 0, 4, 1, 0, 0, dest),
               EInvalidGraphicOperation);
}

TEST(FixedPointResize, RejectedRectanglesDrawNothing) {
  TABitmap source = Make32(4, 4, [](int, int) { return Pixel{0, 0, 0, 0}; });
  TABitmap dest;
  dest.SetSize(5, 5);
  std::vector<std::uint8_t> white = testing::PixelBytes(dest.Bitmap());
  FixedPointBilinearResize(5, 5, source, -1, 0, 4, 4, 0, 0, dest);  // source x before 0
  FixedPointBilinearResize(5, 5, source, 5, 0, 4, 4, 0, 0, dest);   // source x past the width
  FixedPointBilinearResize(5, 5, source, 0, 0, 4, 4, 5, 0, dest);   // destination x past the end
  FixedPointBilinearResize(5, 5, source, 0, 0, 4, 4, -5, 0, dest);  // nothing left after clipping
  FixedPointBilinearResize(0, 5, source, 0, 0, 4, 4, 0, 0, dest);   // no extent
  FixedPointBilinearResize(5, 5, source, 0, 0, 0, 4, 0, 0, dest);   // no source extent
  EXPECT_EQ(testing::PixelBytes(dest.Bitmap()), white);
}

TEST(FixedPointResize, ClipsAtTheDestinationEdges) {
  TABitmap source = Make32(4, 4, [](int x, int y) {
    return Pixel{static_cast<std::uint8_t>(40 * x), static_cast<std::uint8_t>(40 * y), 0, 0};
  });
  TABitmap dest;
  dest.SetSize(6, 6);
  // An 8 x 8 drawing whose top-left quarter is cut off, and whose right part passes the edge.
  FixedPointBilinearResize(8, 8, source, 0, 0, 4, 4, -2, -2, dest);
  EXPECT_EQ(At32(dest, 5, 5)[2], 0);  // drawn: red is 0 in the source, 255 in the white fill
  TABitmap shifted;
  shifted.SetSize(6, 6);
  FixedPointBilinearResize(8, 8, source, 0, 0, 4, 4, 3, 3, shifted);
  TABitmap fresh;
  fresh.SetSize(6, 6);
  EXPECT_EQ(At32(shifted, 2, 2), At32(fresh, 2, 2));    // left of the drawing: untouched
  EXPECT_EQ(At32(shifted, 3, 3), (Pixel{0, 0, 0, 0}));  // its first pixel: source (0, 0)
}

TEST(FixedPointResize, StrongEnlargementStaysInsideTheRow) {
  TABitmap source = Make32(2, 2, [](int x, int) {
    auto v = static_cast<std::uint8_t>(x ? 250 : 10);
    return Pixel{v, v, v, 0};
  });
  TABitmap result = WholeResize(source, 300, 3);
  EXPECT_EQ(At32(result, 0, 0)[0], (10 * 255 >> 8) * 255 >> 8);
  EXPECT_EQ(At32(result, 299, 0)[0], (250 * 255 >> 8) * 255 >> 8);
}

TEST(TABitmap, KeepsThirtyTwoBitsWithAZeroFourthByte) {
  TBitmap rgb = testing::Uniform24(2, 2, {1, 2, 3});
  TABitmap image;
  EXPECT_EQ(image.Bitmap().PixelFormat(), TPixelFormat::pf32bit);
  image.Assign(&rgb);
  EXPECT_EQ(image.Bitmap().PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(At32(image, 1, 1), (Pixel{1, 2, 3, 0}));
  image.SetSize(3, 1);
  EXPECT_EQ(image.Bitmap().PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(image.Height(), 1);
}

// Every form of the row blend this processor runs against the portable one, over every weight
// pair and taps at both ends of the rows.
TEST(BlendRow, EveryFormGivesThePortableBytes) {
  std::mt19937 random(5);
  std::vector<std::uint8_t> upper(4 * 64), lower(4 * 64);
  for (auto& b : upper) b = static_cast<std::uint8_t>(random());
  for (auto& b : lower) b = static_cast<std::uint8_t>(random());
  upper[0] = lower[4 * 63] = 255;
  std::vector<TColumnTap> taps(256);
  for (std::size_t i = 0; i < taps.size(); ++i) {
    const auto ix = static_cast<std::uint32_t>(i % 64);
    taps[i] = {4 * ix, 4 * std::min<std::uint32_t>(ix + 1, 63), static_cast<std::uint16_t>(i)};
  }
  for (unsigned fy = 0; fy < 256; ++fy) {
    std::vector<std::uint8_t> expected(4 * taps.size());
    BlendRowPortable(upper.data(), lower.data(), fy, taps, expected.data());
    for (const auto& form : BlendRowVariants()) {
      if (!ProcessorFeatures().Covers(form.needs)) continue;
      std::vector<std::uint8_t> out(4 * taps.size());
      form.function(upper.data(), lower.data(), fy, taps, out.data());
      ASSERT_EQ(out, expected) << form.name << " fy " << fy;
    }
  }
}

}  // namespace
}  // namespace qv
