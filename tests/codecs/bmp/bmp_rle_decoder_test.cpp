// Tests of the RLE8 / RLE4 decoder of BMP pixel data.
#include "codecs/bmp/bmp_rle_decoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/exceptions.h"

namespace qv {
namespace {

std::vector<std::uint8_t> Decode(std::vector<std::uint8_t> data, TRleKind kind, int width,
                                 int height) {
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(width * height), 9);
  DecodeBmpRle(data, kind, width, height, indices);
  return indices;
}

TEST(BmpRle, Rle8RunsEscapesAndDeltas) {
  // Row 0: run of 2 x 5, absolute 3 bytes (padded), end of line; row 1: delta (1,1) from
  // (0,1) lands on (1,2); run of 1 x 7; end of bitmap.
  auto got = Decode({2, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 1, 7, 0, 1}, TRleKind::kRle8, 5, 3);
  EXPECT_EQ(got, (std::vector<std::uint8_t>{5, 5, 1, 2, 3,  // bottom row
                                            9, 9, 9, 9, 9,  // skipped by the delta
                                            9, 7, 9, 9, 9}));
}

TEST(BmpRle, Rle4AlternatesNibbles) {
  // Run of 5 x 0x12, end of line, absolute 3 nibbles 0xAB 0xC0 (2 bytes, no pad), end.
  auto got = Decode({5, 0x12, 0, 0, 0, 3, 0xAB, 0xC0, 0, 1}, TRleKind::kRle4, 5, 2);
  EXPECT_EQ(got, (std::vector<std::uint8_t>{1, 2, 1, 2, 1, 0xA, 0xB, 0xC, 9, 9}));
  // Absolute run of 5 nibbles takes 3 bytes and 1 pad byte.
  got = Decode({0, 5, 0x12, 0x34, 0x50, 0xFF, 1, 0x66, 0, 1}, TRleKind::kRle4, 6, 1);
  EXPECT_EQ(got, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST(BmpRle, RowsPastTheTopAreIgnored) {
  auto got = Decode({1, 4, 0, 0, 1, 5, 0, 0, 1, 6, 0, 0, 1, 7}, TRleKind::kRle8, 1, 2);
  EXPECT_EQ(got, (std::vector<std::uint8_t>{4, 5}));
  got = Decode({0, 2, 0, 200, 1, 7}, TRleKind::kRle8, 1, 2);  // delta off the top
  EXPECT_EQ(got, (std::vector<std::uint8_t>{9, 9}));
}

TEST(BmpRle, DataEndingBetweenCodesKeepsWhatWasDecoded) {
  EXPECT_EQ(Decode({2, 3}, TRleKind::kRle8, 2, 2), (std::vector<std::uint8_t>{3, 3, 9, 9}));
  // The pad byte after an odd absolute run may be missing at the very end.
  EXPECT_EQ(Decode({0, 3, 1, 2, 3}, TRleKind::kRle8, 3, 1), (std::vector<std::uint8_t>{1, 2, 3}));
}

struct BadRle {
  const char* name;
  std::vector<std::uint8_t> data;
  bool read_error;  // else invalid bitmap
};

class BmpRleMalformed : public ::testing::TestWithParam<BadRle> {};

TEST_P(BmpRleMalformed, FailsWithoutTouchingMemoryOutside) {
  std::vector<std::uint8_t> indices(4 * 2 + 8, 9);  // 8 guard bytes after the 4 x 2 image
  std::span<std::uint8_t> image(indices.data(), 8);
  if (GetParam().read_error) {
    EXPECT_THROW(DecodeBmpRle(GetParam().data, TRleKind::kRle8, 4, 2, image), EReadError);
  } else {
    EXPECT_THROW(DecodeBmpRle(GetParam().data, TRleKind::kRle8, 4, 2, image), EInvalidGraphic);
  }
  for (std::size_t i = 8; i < indices.size(); ++i) EXPECT_EQ(indices[i], 9);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BmpRleMalformed,
    ::testing::Values(BadRle{"EncodedRunPastRowEnd", {5, 1}, false},
                      BadRle{"RunPastRowEndAfterOthers", {3, 1, 2, 1}, false},
                      BadRle{"AbsoluteRunPastRowEnd", {0, 6, 1, 2, 3, 4, 5, 6}, false},
                      BadRle{"DeltaPastRowEnd", {0, 2, 5, 0}, false},
                      BadRle{"EncodedPairCut", {2}, true}, BadRle{"DeltaCut", {0, 2, 1}, true},
                      BadRle{"AbsoluteRunCut", {0, 4, 1, 2}, true}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

}  // namespace
}  // namespace qv
