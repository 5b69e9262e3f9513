// Fitting inside a box: the longer side meets the box, the other is rounded, nothing enlarges.
#include "app/fit_inside.h"

#include <gtest/gtest.h>

#include "support/test_names.h"

namespace qv {
namespace {

struct FitCase {
  int width, height, box_width, box_height;
  int fitted_width, fitted_height;
};

class FitInsideTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitInsideTest, KeepsTheShapeInsideTheBox) {
  const FitCase& c = GetParam();
  auto [w, h] = FitInside(c.width, c.height, c.box_width, c.box_height);
  EXPECT_EQ(w, c.fitted_width) << c.width << "x" << c.height << " in " << c.box_width << "x"
                               << c.box_height;
  EXPECT_EQ(h, c.fitted_height) << c.width << "x" << c.height << " in " << c.box_width << "x"
                                << c.box_height;
  EXPECT_LE(w, std::max(c.width, c.box_width));
  EXPECT_LE(h, std::max(c.height, c.box_height));
}

INSTANTIATE_TEST_SUITE_P(
    Edges, FitInsideTest,
    ::testing::Values(
        // Landscape and portrait pictures into a landscape box.
        FitCase{4000, 3000, 640, 480, 640, 480}, FitCase{3000, 4000, 640, 480, 360, 480},
        FitCase{1000, 1000, 640, 480, 480, 480}, FitCase{1920, 1080, 640, 480, 640, 360},
        // Into a portrait box.
        FitCase{4000, 3000, 480, 640, 480, 360}, FitCase{3000, 4000, 480, 640, 480, 640},
        // Already inside, or exactly the box: kept (never enlarged).
        FitCase{320, 200, 640, 480, 320, 200}, FitCase{640, 480, 640, 480, 640, 480},
        FitCase{640, 100, 640, 480, 640, 100}, FitCase{1, 1, 1, 1, 1, 1},
        // One side too long, the other inside.
        FitCase{641, 480, 640, 480, 640, 479}, FitCase{640, 481, 640, 480, 639, 480},
        // 1-pixel sides: the short side never drops below 1.
        FitCase{1000, 1, 100, 100, 100, 1}, FitCase{1, 1000, 100, 100, 1, 100},
        FitCase{65535, 1, 1, 1, 1, 1}, FitCase{2, 3, 1, 1, 1, 1}, FitCase{5, 5, 1, 65535, 1, 1},
        // Rounding to the nearest pixel, halves up: 3 x 2 into 2 wide is 2 x 1.33 -> 1;
        // 4 x 3 into 2 wide is 2 x 1.5 -> 2.
        FitCase{3, 2, 2, 2, 2, 1}, FitCase{4, 3, 2, 2, 2, 2},
        // Largest sides without overflow.
        FitCase{65535, 65534, 65534, 65535, 65534, 65533}),
    [](const auto& test_info) {
      const auto& c = test_info.param;
      return testing::SizeName(c.width, c.height) + "_in_" +
             testing::SizeName(c.box_width, c.box_height);
    });

}  // namespace
}  // namespace qv
