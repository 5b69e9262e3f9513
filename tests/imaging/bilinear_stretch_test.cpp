// Tests of the bilinear stretch: footprint means, the one-millionth shortfall and the border rule.
#include "imaging/bilinear_stretch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "imaging/bilinear_stretch_forms.h"
#include "imaging/image_helpers.h"
#include "runtime/exceptions.h"
#include "support/test_names.h"

namespace qv {
namespace {

using testing::At24;
using testing::Bgr;
using testing::Make24;
using testing::PixelBytes;

struct Size {
  int width, height;
};

class UniformSource : public ::testing::TestWithParam<Size> {};

TEST_P(UniformSource, GivesTheSameValueAtAnySize) {
  TBitmap source = testing::Uniform24(7, 5, {0, 131, 255});
  TBitmap result = BilinearStretch(source, GetParam().width, GetParam().height);
  ASSERT_EQ(result.Width(), GetParam().width);
  ASSERT_EQ(result.Height(), GetParam().height);
  EXPECT_EQ(result.PixelFormat(), TPixelFormat::pf24bit);
  for (int y = 0; y < result.Height(); ++y)
    for (int x = 0; x < result.Width(); ++x) ASSERT_EQ(At24(result, x, y), (Bgr{0, 131, 255}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, UniformSource,
                         ::testing::Values(Size{1, 1}, Size{3, 2}, Size{7, 5}, Size{13, 11},
                                           Size{2, 40}, Size{50, 1}),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return testing::SizeName(c.width, c.height);
                         });

TEST(BilinearStretch, TwoByTwoToOnePixelIsTheMeanFallingOneMillionthShort) {
  // Per channel (blue, green, red) the four pixels average 121.5, 25 and 121.75. The exact half
  // rounds down because the footprint is a millionth narrower than the nominal one (with the
  // nominal footprint, ties to even would give 122).
  const Bgr pixels[4] = {{120, 10, 121}, {121, 20, 122}, {122, 30, 122}, {123, 40, 122}};
  TBitmap source = Make24(2, 2, [&](int x, int y) { return pixels[2 * y + x]; });
  EXPECT_EQ(At24(BilinearStretch(source, 1, 1), 0, 0), (Bgr{121, 25, 122}));
}

TEST(BilinearStretch, WideReductionStillFallsShortOfTheHalf) {
  // 2000 x 1 to 1 x 1: half the pixels 121, half 122. The mean is exactly 121.5; the sliver left
  // out lies at the 122 end, so the result is 121. Needs 64-bit accumulators: a 32-bit float sum
  // of 2000 cells is off by far more than the sliver.
  TBitmap source = Make24(2000, 1, [](int x, int) {
    auto v = static_cast<std::uint8_t>(x < 1000 ? 121 : 122);
    return Bgr{v, v, v};
  });
  EXPECT_EQ(At24(BilinearStretch(source, 1, 1), 0, 0).g, 121);
}

TEST(BilinearStretch, OnePixelEnlargedRepeatsItsColour) {
  TBitmap source = testing::Uniform24(1, 1, {9, 99, 199});
  TBitmap result = BilinearStretch(source, 5, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(At24(result, x, y), (Bgr{9, 99, 199}));
}

TEST(BilinearStretch, TwoToFourColumnsBlendsThreeToOne) {
  TBitmap source = Make24(2, 1, [](int x, int) {
    return x == 0 ? Bgr{0, 200, 40} : Bgr{200, 0, 240};
  });
  TBitmap result = BilinearStretch(source, 4, 1);
  EXPECT_EQ(At24(result, 0, 0), (Bgr{0, 200, 40}));    // centre -0.25: the flat border cell
  EXPECT_EQ(At24(result, 1, 0), (Bgr{50, 150, 90}));   // 3:1
  EXPECT_EQ(At24(result, 2, 0), (Bgr{150, 50, 190}));  // 1:3
  EXPECT_EQ(At24(result, 3, 0), (Bgr{200, 0, 240}));
}

TEST(BilinearStretch, ReductionAveragesEverySourcePixel) {
  // A single bright pixel anywhere in a 4 x 4 block still shows in the 1 x 1 result.
  for (int spot = 0; spot < 16; ++spot) {
    TBitmap source = Make24(4, 4, [spot](int x, int y) {
      auto v = static_cast<std::uint8_t>(4 * y + x == spot ? 160 : 0);
      return Bgr{v, v, v};
    });
    EXPECT_GT(At24(BilinearStretch(source, 1, 1), 0, 0).g, 0) << spot;
  }
}

TEST(BilinearStretch, LeavesAPaletteSourceUnchanged) {
  TBitmap source = testing::Random24(6, 5, 3);
  source.SetPixelFormat(TPixelFormat::pf8bit);
  std::vector<std::uint8_t> before = PixelBytes(source);
  TBitmap result = BilinearStretch(source, 4, 9);
  EXPECT_EQ(source.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(PixelBytes(source), before);
  EXPECT_EQ(result.PixelFormat(), TPixelFormat::pf24bit);
}

TEST(BilinearStretch, EmptySourceFailsTheAssertion) {
  TBitmap source;
  source.Allocate(3, 0, TPixelFormat::pf24bit);
  try {
    BilinearStretch(source, 4, 4);
    FAIL() << "no error";
  } catch (const EAssertionFailed& error) {
    EXPECT_EQ(error.Message(), "Assertion failure (BitmapUtils, 1066 行)");
  }
}

TEST(BilinearStretch, ZeroTargetFailsInsteadOfDividingByZero) {
  TBitmap source = testing::Uniform24(2, 2, {1, 1, 1});
  EXPECT_THROW(BilinearStretch(source, 0, 3), EAssertionFailed);
}

struct PathCase {
  int src_w, src_h, dst_w, dst_h;
};

// The forms of the separable sums this processor has, each as the stretch's fast path.
std::vector<const TVariant<TStretchForms>*> FormsAtHand() {
  std::vector<const TVariant<TStretchForms>*> forms;
  for (const auto& form : StretchFormVariants())
    if (ProcessorFeatures().Covers(form.needs)) forms.push_back(&form);
  return forms;
}

// Pictures of few levels whose means often end in exactly one half: two-level columns, stripes
// of 0, 101 and 202, and a checkerboard of 0 and 255 whose last row and column are 0, so that
// the sliver the footprint leaves out lies over zeros and cannot move a half away.
std::vector<TBitmap> FewLevelPictures(int width, int height) {
  return {Make24(width, height,
                 [](int x, int y) {
                   auto v = static_cast<std::uint8_t>(((x / 2 + y) % 3) * 101);
                   return Bgr{v, static_cast<std::uint8_t>(x % 2 ? 121 : 122),
                              static_cast<std::uint8_t>(255 - v)};
                 }),
          Make24(width, height, [=](int x, int y) {
            auto v = static_cast<std::uint8_t>(
                x == width - 1 || y == height - 1 ? 0 : (x + y) % 2 * 255);
            return Bgr{v, static_cast<std::uint8_t>(v / 5), static_cast<std::uint8_t>(v / 3)};
          })};
}

class StretchPathsAgree : public ::testing::TestWithParam<PathCase> {};

TEST_P(StretchPathsAgree, EveryFormGivesTheBytesOfTheExtendedForm) {
  const PathCase& c = GetParam();
  std::vector<TBitmap> pictures = FewLevelPictures(c.src_w, c.src_h);
  pictures.push_back(testing::Random24(c.src_w, c.src_h, 77));
  for (const TBitmap& source : pictures) {
    const auto extended =
        PixelBytes(BilinearStretch(source, c.dst_w, c.dst_h, TArithmeticPath::kExtended));
    EXPECT_EQ(PixelBytes(BilinearStretch(source, c.dst_w, c.dst_h)), extended);
    for (const auto* form : FormsAtHand())
      EXPECT_EQ(PixelBytes(BilinearStretchWith(source, c.dst_w, c.dst_h, form->function)), extended)
          << form->name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, StretchPathsAgree,
    ::testing::Values(PathCase{97, 61, 23, 17}, PathCase{31, 19, 83, 47},
                      PathCase{400, 300, 64, 48}, PathCase{17, 9, 17, 9}, PathCase{8, 8, 4, 4},
                      PathCase{2, 2, 1, 1}, PathCase{5, 3, 29, 1}, PathCase{1, 1, 3, 2},
                      PathCase{3, 1, 12, 4}, PathCase{61, 7, 9, 20}, PathCase{7, 61, 20, 9},
                      PathCase{45, 1, 7, 1}, PathCase{1, 45, 3, 7}, PathCase{101, 13, 11, 29},
                      PathCase{1200, 5, 3, 2}, PathCase{33, 35, 32, 36}, PathCase{6, 6, 2, 3}),
    [](const auto& test_info) {
      const auto& c = test_info.param;
      return testing::SizeName(c.src_w, c.src_h) + "_to_" + testing::SizeName(c.dst_w, c.dst_h);
    });

// The portable form with pixel sums off by a relative 1e-10 (up to 2.6e-8 of a mean), up for one
// byte and down for the next: far more than any form's rounding, so exact halves move off the
// tie to either side, and still well within the margin the stretch keeps from a half.
void NudgedRowSums(const double* sums, const TAxisTaps& columns, int width, double* out) {
  PortableVariant(StretchFormVariants()).function.row_sums(sums, columns, width, out);
  for (int i = 0; i < 3 * width; ++i) out[i] *= i % 2 ? 1 + 1e-10 : 1 - 1e-10;
}

TEST(BilinearStretch, TheRecheckMendsTheMeansTheDoublesPutOnTheWrongSideOfAHalf) {
  // Small two- and four-level pictures whose last row and column are 0, at many sizes: some of
  // their means are halves in exact arithmetic, which the separable doubles (exactly on the tie,
  // or off it with the nudged form) and the extended form round apart. Every pixel on which the
  // doubles alone err must be one rechecked.
  const TVariant<TStretchForms> nudged{"nudged",
                                       {},
                                       {PortableVariant(StretchFormVariants()).function.column_sums,
                                        NudgedRowSums, StretchRowBytes}};
  std::vector<const TVariant<TStretchForms>*> forms = FormsAtHand();
  forms.push_back(&nudged);
  std::mt19937 random(1);
  for (const auto* form : forms) {
    std::size_t wrong = 0, rechecked = 0;
    for (int trial = 0; trial < 2000; ++trial) {
      int sw = 1 + random() % 12, sh = 1 + random() % 12;
      int dw = 1 + random() % 6, dh = 1 + random() % 6;
      const int levels = trial % 2 ? 2 : 4;
      std::mt19937 pixels(random());
      TBitmap source = Make24(sw, sh, [&](int x, int y) {
        auto v = static_cast<std::uint8_t>(pixels() % levels * (levels == 2 ? 255 : 1));
        if (x == sw - 1 || y == sh - 1) v = 0;
        return Bgr{v, static_cast<std::uint8_t>(v / 2 + 1), static_cast<std::uint8_t>(3 * v)};
      });
      const auto extended = PixelBytes(BilinearStretch(source, dw, dh, TArithmeticPath::kExtended));
      const auto unchecked =
          PixelBytes(BilinearStretchWith(source, dw, dh, form->function, TRecheck::kNever));
      std::size_t count = 0;
      ASSERT_EQ(PixelBytes(BilinearStretchWith(source, dw, dh, form->function,
                                               TRecheck::kNearHalves, &count)),
                extended)
          << form->name << " " << sw << "x" << sh << " to " << dw << "x" << dh;
      std::size_t differing = 0;
      for (std::size_t b = 0; b < extended.size(); b += 3)
        differing += !std::equal(&extended[b], &extended[b] + 3, &unchecked[b]);
      EXPECT_LE(differing, count) << form->name;
      wrong += differing;
      rechecked += count;
    }
    // Without the recheck some bytes would be wrong; the recheck stays rare.
    EXPECT_GT(wrong, 0u) << form->name;
    EXPECT_LT(rechecked, 20 * wrong) << form->name;
  }
}

}  // namespace
}  // namespace qv
