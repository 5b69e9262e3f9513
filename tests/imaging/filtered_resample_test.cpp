// Tests of the filtered resampler: kernels, contribution lists, rounding and both arithmetic paths.
#include "imaging/filtered_resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/filtered_resample_forms.h"
#include "imaging/image_helpers.h"
#include "runtime/exceptions.h"
#include "simd/extended_float.h"
#include "support/test_names.h"

namespace qv {
namespace {

using testing::At24;
using testing::Bgr;
using testing::Make24;
using testing::PixelBytes;

constexpr TArithmeticPath kBothPaths[] = {TArithmeticPath::kFastest, TArithmeticPath::kExtended};

TBitmap Resampled(const TBitmap& source, int width, int height, int row,
                  TArithmeticPath path = TArithmeticPath::kFastest) {
  TBitmap copy = source;
  TBitmap dest;
  dest.Allocate(width, height, TPixelFormat::pf24bit);
  const TResampleFilter& filter = ResampleFilterTable[static_cast<std::size_t>(row)];
  FilteredResample(copy, dest, filter.kernel, filter.support, path);
  return dest;
}

TEST(FilteredResample, EmptySourceIsTooSmallAndLeavesDestUntouched) {
  TBitmap source;
  source.Allocate(0, 4, TPixelFormat::pf8bit);
  TBitmap dest = testing::Uniform24(3, 2, {1, 2, 3});
  dest.SetPixelFormat(TPixelFormat::pf32bit);
  std::vector<std::uint8_t> before = PixelBytes(dest);
  try {
    FilteredResample(source, dest, Lanczos3Filter, 3.0f);
    FAIL() << "no error";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "Source bitmap too small");
  }
  EXPECT_EQ(dest.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(PixelBytes(dest), before);
  EXPECT_EQ(source.PixelFormat(), TPixelFormat::pf8bit);
}

TEST(FilteredResample, ConvertsSourceAndDestTo24Bits) {
  TBitmap source = testing::Random24(5, 4, 7);
  source.SetPixelFormat(TPixelFormat::pf32bit);
  TBitmap dest;
  dest.SetPixelFormat(TPixelFormat::pf8bit);
  dest.SetSize(3, 3);
  FilteredResample(source, dest, MitchellFilter, 2.0f);
  EXPECT_EQ(source.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(dest.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(dest.Width(), 3);
  EXPECT_EQ(dest.Height(), 3);
}

TEST(FilteredResample, Lanczos3AtTheSameSizeReproducesTheImage) {
  TBitmap source = testing::Random24(13, 9, 1);
  for (TArithmeticPath path : kBothPaths)
    EXPECT_EQ(PixelBytes(Resampled(source, 13, 9, 1, path)), PixelBytes(source));
}

TEST(FilteredResample, Lanczos3WeightsAtOtherIntegersAreTinyButNotZero) {
  // pi x is stored as a float before the sine, so sin(float(pi)) is about -8.7e-8, not 0.
  float one = Lanczos3Filter(1.0f);
  EXPECT_NE(one, 0.0f);
  EXPECT_LT(std::fabs(one), 1e-7f);
  EXPECT_EQ(Lanczos3Filter(0.0f), 1.0f);
  EXPECT_EQ(Lanczos3Filter(3.0f), 0.0f);
  EXPECT_EQ(Lanczos3Filter(-0.5f), Lanczos3Filter(0.5f));
}

// The sinc as the kernels define it: the product stored as a float, the sine and the quotient in
// extended precision (pi rounded to its 64 bits).
float ExtendedSinc(float x) {
  if (x == 0.0f) return 1.0f;
  auto y = static_cast<float>(TExtended(x) * TExtended(0xc.90fdaa22168c235p-2L));
  return static_cast<float>(TExtended(std::sin(static_cast<long double>(y))) / TExtended(y));
}

TEST(FilteredResample, SincGivesTheExtendedQuotientEverywhere) {
  // Every 389th float of 0 .. 3 (the arguments of Lanczos3 and of its third), the floats around
  // each zero crossing and around 0, and the negatives of all of them.
  std::vector<float> arguments;
  std::uint32_t bits;
  float three = 3.0f;
  std::memcpy(&bits, &three, 4);
  for (std::uint32_t b = 0; b <= bits; b += 389) {
    float x;
    std::memcpy(&x, &b, 4);
    arguments.push_back(x);
  }
  for (float centre : {0.0f, 1.0f, 2.0f, 3.0f, 0.5f, 1.5f, 2.5f}) {
    float x = centre, y = centre;
    for (int i = 0; i < 2000; ++i) {
      arguments.push_back(x = std::nextafter(x, 10.0f));
      arguments.push_back(y = std::nextafter(y, -10.0f));
    }
  }
  std::size_t differ = 0;
  for (float x : arguments) {
    for (float signed_x : {x, -x}) {
      if (Sinc(signed_x) != ExtendedSinc(signed_x) && ++differ < 5)
        ADD_FAILURE() << "Sinc(" << signed_x << ") = " << Sinc(signed_x) << ", extended "
                      << ExtendedSinc(signed_x);
    }
  }
  EXPECT_EQ(differ, 0u) << "of " << 2 * arguments.size();
}

struct BlurCase {
  int row;
  double centre, side;           // same-size weights at distance 0 and 1
  std::uint8_t peak, neighbour;  // a 180 spike after the pass
};

class SameSizeBlur : public ::testing::TestWithParam<BlurCase> {};

TEST_P(SameSizeBlur, WeightsAndSpike) {
  const BlurCase& c = GetParam();
  const TResampleFilter& filter = ResampleFilterTable[static_cast<std::size_t>(c.row)];
  TContributionLists lists = BuildContributions(1.0f, 7, 7, filter.kernel, filter.support);
  ASSERT_EQ(lists.Count(3), 3u);
  const TContribution* list = lists.List(3);
  EXPECT_EQ(list[0].index, 2);
  EXPECT_EQ(list[1].index, 3);
  EXPECT_EQ(list[2].index, 4);
  EXPECT_NEAR(list[0].weight, c.side, 1e-7);
  EXPECT_NEAR(list[1].weight, c.centre, 1e-7);
  EXPECT_NEAR(list[2].weight, c.side, 1e-7);
  TBitmap spike = Make24(7, 1, [](int x, int) {
    auto v = static_cast<std::uint8_t>(x == 3 ? 180 : 0);
    return Bgr{v, v, v};
  });
  for (TArithmeticPath path : kBothPaths) {
    TBitmap result = Resampled(spike, 7, 1, c.row, path);
    EXPECT_EQ(At24(result, 3, 0).g, c.peak);
    EXPECT_EQ(At24(result, 2, 0).g, c.neighbour);
    EXPECT_EQ(At24(result, 4, 0).r, c.neighbour);
    EXPECT_EQ(At24(result, 1, 0).b, 0);
  }
}

// Bell's side weight gives 180 / 8 = 22.5, which rounds to the even 22.
INSTANTIATE_TEST_SUITE_P(Kernels, SameSizeBlur,
                         ::testing::Values(BlurCase{0, 8.0 / 9, 1.0 / 18, 160, 10},
                                           BlurCase{2, 2.0 / 3, 1.0 / 6, 120, 30},
                                           BlurCase{3, 0.75, 0.125, 135, 22}),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return "row" + std::to_string(c.row);
                         });

class UniformStaysUniform : public ::testing::TestWithParam<int> {};

TEST_P(UniformStaysUniform, AtTheSameSize) {
  TBitmap source = testing::Uniform24(9, 6, {17, 128, 250});
  for (TArithmeticPath path : kBothPaths)
    EXPECT_EQ(PixelBytes(Resampled(source, 9, 6, GetParam(), path)), PixelBytes(source));
}

INSTANTIATE_TEST_SUITE_P(JobKernels, UniformStaysUniform, ::testing::Values(0, 1, 2, 3),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return "row" + std::to_string(c);
                         });

// One row of two pixels through a hand-made list, to pin the accumulator width and rounding.
std::uint8_t SumThroughList(std::vector<TContribution> taps, std::uint8_t first,
                            std::uint8_t second, TArithmeticPath path) {
  TBitmap source = Make24(2, 1, [&](int x, int) {
    std::uint8_t v = x == 0 ? first : second;
    return Bgr{v, v, v};
  });
  TContributionLists lists;
  lists.entries = std::move(taps);
  lists.first = {0, lists.entries.size()};
  TBitmap work;
  work.Allocate(1, 1, TPixelFormat::pf24bit);
  ResampleRows(source, work, lists, path);
  // The vertical pass must round the same way.
  TBitmap column = Make24(1, 2, [&](int, int y) {
    std::uint8_t v = y == 0 ? first : second;
    return Bgr{v, v, v};
  });
  TBitmap dest;
  dest.Allocate(1, 1, TPixelFormat::pf24bit);
  ResampleColumns(column, dest, lists, path);
  EXPECT_EQ(At24(work, 0, 0), At24(dest, 0, 0));
  return At24(work, 0, 0).g;
}

class Accumulation : public ::testing::TestWithParam<TArithmeticPath> {};

TEST_P(Accumulation, HalvesRoundToEven) {
  EXPECT_EQ(SumThroughList({{0, 0.5f}}, 201, 0, GetParam()), 100);  // 100.5
  EXPECT_EQ(SumThroughList({{0, 0.5f}}, 203, 0, GetParam()), 102);  // 101.5
  EXPECT_EQ(SumThroughList({{0, 0.5f}}, 1, 0, GetParam()), 0);      // 0.5
}

TEST_P(Accumulation, AccumulatorIsAFloatStoredAfterEachTap) {
  // 100.5 + 1e-6 is 100.5 as a float (half its unit is 3.8e-6) and rounds to even 100; a double
  // accumulator would keep 100.500001 and give 101.
  EXPECT_EQ(SumThroughList({{0, 0.5f}, {1, 1e-6f}}, 201, 1, GetParam()), 100);
  // Each 3e-6 alone is lost in the float; summed in a wider register they would reach 100.500006.
  EXPECT_EQ(SumThroughList({{0, 0.5f}, {1, 3e-6f}, {1, 3e-6f}}, 201, 1, GetParam()), 100);
}

TEST_P(Accumulation, ClampsOvershoot) {
  EXPECT_EQ(SumThroughList({{0, 2.0f}}, 200, 0, GetParam()), 255);
  EXPECT_EQ(SumThroughList({{0, 1.0f}, {1, -1.0f}}, 10, 200, GetParam()), 0);
  EXPECT_EQ(SumThroughList({{0, 1.002f}}, 255, 0, GetParam()), 255);
}

INSTANTIATE_TEST_SUITE_P(Paths, Accumulation, ::testing::ValuesIn(kBothPaths),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return std::string(c == TArithmeticPath::kFastest ? "Fastest"
                                                                             : "Extended");
                         });

TEST(FilteredResample, CornerAlignedEnlargementKeepsTheEndPixels) {
  TBitmap source = testing::Random24(4, 3, 11);
  TBitmap result = Resampled(source, 10, 7, 1);
  for (auto [sx, sy, dx, dy] : {std::array{0, 0, 0, 0}, {3, 0, 9, 0}, {0, 2, 0, 6}, {3, 2, 9, 6}})
    EXPECT_EQ(At24(result, dx, dy), At24(source, sx, sy)) << dx << "," << dy;
}

TEST(FilteredResample, HardEdgesStayInRange) {
  // Lanczos3 and Mitchell overshoot at a 0/255 step; the bytes clamp rather than wrap.
  TBitmap edge = Make24(6, 1, [](int x, int) {
    auto v = static_cast<std::uint8_t>(x < 3 ? 0 : 255);
    return Bgr{v, v, v};
  });
  for (int row : {0, 1}) {
    TBitmap result = Resampled(edge, 23, 1, row);
    EXPECT_EQ(At24(result, 0, 0).g, 0);
    EXPECT_EQ(At24(result, 22, 0).g, 255);
    // Monotone up to the overshoot: the clamped ends never wrap around to the other extreme.
    EXPECT_LT(At24(result, 5, 0).g, 128);
    EXPECT_GT(At24(result, 17, 0).g, 128);
  }
}

TEST(Contributions, ScaleIsCornerAligned) {
  EXPECT_EQ(ResampleScale(640, 4000), static_cast<float>(639.0L / 3999.0L));
  EXPECT_EQ(ResampleScale(7, 1), 7.0f);
  EXPECT_EQ(ResampleScale(1, 5), 0.0f);
}

TEST(Contributions, OneDestinationPixelSamplesTheFirstSourcePixel) {
  TContributionLists lists = BuildContributions(0.0f, 5, 1, Lanczos3Filter, 3.0f);
  ASSERT_EQ(lists.Count(0), 1u);
  EXPECT_EQ(lists.List(0)[0].index, 0);
  EXPECT_EQ(lists.List(0)[0].weight, 1.0f);
  TBitmap source = Make24(5, 4, [](int x, int y) {
    return Bgr{static_cast<std::uint8_t>(10 * x + y), 7, static_cast<std::uint8_t>(y)};
  });
  TBitmap result = Resampled(source, 1, 1, 1);
  EXPECT_EQ(At24(result, 0, 0), At24(source, 0, 0));
}

struct TinySource {
  int source, dest, row;
};

class ReflectionInside : public ::testing::TestWithParam<TinySource> {};

TEST_P(ReflectionInside, EveryTapReadsARealPixel) {
  const TinySource& c = GetParam();
  const TResampleFilter& filter = ResampleFilterTable[static_cast<std::size_t>(c.row)];
  float scale = ResampleScale(c.dest, c.source);
  TContributionLists lists =
      BuildContributions(scale, c.source, c.dest, filter.kernel, filter.support);
  ASSERT_EQ(lists.first.size(), static_cast<std::size_t>(c.dest) + 1);
  for (const TContribution& tap : lists.entries) {
    EXPECT_GE(tap.index, 0);
    EXPECT_LT(tap.index, c.source);
    EXPECT_NE(tap.weight, 0.0f);
  }
  TBitmap source = testing::Random24(c.source, c.source, 5);
  TBitmap result = Resampled(source, c.dest, c.dest, c.row);
  EXPECT_EQ(result.Width(), c.dest);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReflectionInside,
                         ::testing::Values(TinySource{1, 9, 1}, TinySource{2, 9, 1},
                                           TinySource{3, 12, 1}, TinySource{3, 2, 1},
                                           TinySource{2, 1, 0}, TinySource{4, 40, 1},
                                           TinySource{5, 2, 6}, TinySource{2, 3, 3}),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return std::to_string(c.source) + "_to_" + std::to_string(c.dest) +
                                  "_row" + std::to_string(c.row);
                         });

TEST(Contributions, SingleReflectionAtBothEnds) {
  // Lanczos3 at scale 1 around column 0 and column 3 of four: j < 0 reads -j, j >= 4 reads 7 - j.
  TContributionLists lists = BuildContributions(1.0f, 4, 4, Lanczos3Filter, 3.0f);
  std::vector<int> first, last;
  for (std::size_t e = 0; e < lists.Count(0); ++e) first.push_back(lists.List(0)[e].index);
  for (std::size_t e = 0; e < lists.Count(3); ++e) last.push_back(lists.List(3)[e].index);
  EXPECT_EQ(first, (std::vector<int>{2, 1, 0, 1, 2}));
  EXPECT_EQ(last, (std::vector<int>{1, 2, 3, 3, 2}));
}

TEST(FilteredResample, SourceOfWidthOneSpreadsItsColumn) {
  TBitmap source = Make24(1, 3, [](int, int y) {
    return Bgr{static_cast<std::uint8_t>(50 * y), 9, 200};
  });
  TBitmap result = Resampled(source, 6, 3, 0);
  // Mitchell's weights at integer distances add up to 1, and all taps reflect onto the one column.
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(At24(result, x, 0).g, At24(result, 0, 0).g);
    EXPECT_NEAR(At24(result, x, 1).r, 200, 1);
  }
}

struct PathCase {
  int src_w, src_h, dst_w, dst_h;
};

class ResamplePathsAgree : public ::testing::TestWithParam<PathCase> {};

TEST_P(ResamplePathsAgree, OnRandomImagesWithEveryKernel) {
  const PathCase& c = GetParam();
  for (int row = 0; row < 7; ++row) {
    TBitmap source = testing::Random24(c.src_w, c.src_h, static_cast<unsigned>(row + 100));
    EXPECT_EQ(PixelBytes(Resampled(source, c.dst_w, c.dst_h, row, TArithmeticPath::kFastest)),
              PixelBytes(Resampled(source, c.dst_w, c.dst_h, row, TArithmeticPath::kExtended)))
        << "row " << row;
  }
}

// Every form of the passes' inner loops this processor runs (vector, one fused multiply-add at
// a time) gives the bytes of the arithmetic as written.
TEST_P(ResamplePathsAgree, EveryFormGivesTheBytesOfTheExtendedSums) {
  const PathCase& c = GetParam();
  for (int row = 0; row < 7; ++row) {
    TBitmap source = testing::Random24(c.src_w, c.src_h, static_cast<unsigned>(row + 200));
    const auto extended =
        PixelBytes(Resampled(source, c.dst_w, c.dst_h, row, TArithmeticPath::kExtended));
    for (const auto& form : ResampleFormVariants()) {
      if (!ProcessorFeatures().Covers(form.needs)) continue;
      TBitmap copy = source;
      TBitmap dest;
      dest.Allocate(c.dst_w, c.dst_h, TPixelFormat::pf24bit);
      const TResampleFilter& filter = ResampleFilterTable[static_cast<std::size_t>(row)];
      FilteredResampleWith(copy, dest, filter.kernel, filter.support, form.function);
      EXPECT_EQ(PixelBytes(dest), extended) << form.name << " row " << row;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ResamplePathsAgree,
                         ::testing::Values(PathCase{97, 61, 23, 17}, PathCase{31, 19, 83, 47},
                                           PathCase{400, 300, 64, 48}, PathCase{17, 9, 17, 9},
                                           PathCase{5, 3, 29, 1}, PathCase{1, 1, 3, 2},
                                           // Rows wide enough to be cut into strips of
                                           // columns, reduced, enlarged, and reduced so far
                                           // that one column's taps span the whole row.
                                           PathCase{3001, 9, 97, 4}, PathCase{2500, 3, 2611, 2},
                                           PathCase{3000, 2, 2, 2}),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return testing::SizeName(c.src_w, c.src_h) + "_to_" +
                                  testing::SizeName(c.dst_w, c.dst_h);
                         });

// A tap whose product is about 2^66.7 times the accumulator before it (a rounding can differ only
// past 2^64, where the accumulator falls below the extended sum's last bit): the exact sum lies a
// hair above the float midpoint 100.5 + 2^-18, which the extended sum rounds to first and then,
// ties to even, to 100.5 and the byte 100, where a fused sum gives 100.5 + 2^-17 and the byte 101.
// The same taps with the tiny weight last give 100 either way. Every form, in both passes, gives
// the bytes of the sums as written.
TEST(ResampleForms, ATapFarAboveATinyAccumulatorIsSummedAsWritten) {
  const float tiny = 0x1p-60f;
  const float big = 3763639.0f * 0x1p-18f;  // 7 x big = 100.5 + 2^-18, exactly
  TContributionLists lists;
  lists.first = {0, 2, 4};
  lists.entries = {{0, tiny}, {1, big}, {1, big}, {2, tiny}};
  const std::uint8_t row[9] = {1, 1, 1, 7, 7, 7, 1, 1, 1};
  const std::uint8_t* rows[3] = {row, row + 3, row + 6};  // one-pixel rows for the vertical pass

  TRowPass row_pass(lists);
  TColumnPass column_pass(lists);
  std::uint8_t expected[6];
  ResampleRowsExtended(row, 9, 3, 0, 1, expected, 6, row_pass);
  ASSERT_EQ(std::vector<std::uint8_t>(expected, expected + 6),
            (std::vector<std::uint8_t>{100, 100, 100, 100, 100, 100}));
  for (const auto& form : ResampleFormVariants()) {
    if (!ProcessorFeatures().Covers(form.needs)) continue;
    std::uint8_t out[6] = {};
    form.function.rows(row, 9, 3, 0, 1, out, 6, row_pass);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 6),
              std::vector<std::uint8_t>(expected, expected + 6))
        << form.name << ", horizontal";
    TBitmap dest;
    dest.Allocate(1, 2, TPixelFormat::pf24bit);
    form.function.column_rows(rows, 1, dest.ScanLine(0), dest.RowStep(), 0, 2, column_pass);
    EXPECT_EQ(PixelBytes(dest), std::vector<std::uint8_t>(expected, expected + 6))
        << form.name << ", vertical";
  }
}

// The horizontal pass fed a band of rows at a time, as a decoder delivers them, gives the rows
// of the pass over the whole picture, whatever the band heights (partial blocks of eight too).
TEST(ResampleRowBand, BandsOfAnyHeightGiveTheWholePassRows) {
  constexpr int kHeight = 21;
  for (auto [src_w, dst_w] : {std::pair{97, 23}, {31, 83}, {3001, 97}, {1, 3}, {5, 1}}) {
    for (TArithmeticPath path : kBothPaths) {
      TBitmap source = testing::Random24(src_w, kHeight, static_cast<unsigned>(src_w));
      const TResampleFilter& filter = ResampleFilterTable[1];
      TContributionLists lists = BuildContributions(ResampleScale(dst_w, src_w), src_w, dst_w,
                                                    filter.kernel, filter.support);
      TBitmap whole;
      whole.Allocate(dst_w, kHeight, TPixelFormat::pf24bit);
      ResampleRows(source, whole, lists, path);
      const TRowPass pass(lists);
      for (int band : {1, 3, 8, 13, kHeight}) {
        TBitmap banded;
        banded.Allocate(dst_w, kHeight, TPixelFormat::pf24bit);
        for (int y = 0; y < kHeight; y += band) {
          int rows = std::min(band, kHeight - y);
          ResampleRowBand(source.ScanLine(y), source.RowStep(), src_w, rows, banded.ScanLine(y),
                          banded.RowStep(), pass, path);
        }
        EXPECT_EQ(PixelBytes(banded), PixelBytes(whole))
            << src_w << " to " << dst_w << ", bands of " << band;
      }
    }
  }
}

}  // namespace
}  // namespace qv
