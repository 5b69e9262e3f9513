// Each vector form of the band encoder's functions against the portable form, function by
// function: every row length around the vector steps, blocks from flat to extreme with every
// quantization step, and blocks of coefficients up to the largest a baseline scan codes.
#include "codecs/jpeg/jpeg_kernels.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "support/test_forms.h"

namespace qv {
namespace {

using TBytes = std::vector<std::uint8_t>;

const TJpegKernels& Portable() { return PortableVariant(JpegKernelVariants()).function; }

TBytes RandomBytes(std::size_t size, std::mt19937& random) {
  TBytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

using JpegKernelForms = testing::FormTest<TJpegKernels>;

TEST_P(JpegKernelForms, ColourConversionAndAveragingOfEveryRowLength) {
  std::mt19937 random(1);
  for (int count = 0; count <= 70; ++count) {
    // Padding after the pixels: a vector form may read past the last one, never write.
    const TBytes bgr = RandomBytes(3 * static_cast<std::size_t>(count) + 32, random);
    TBytes planes[2][3];
    for (int form = 0; form < 2; ++form) {
      for (auto& plane : planes[form]) plane.assign(static_cast<std::size_t>(count) + 1, 0xAA);
      (form == 0 ? Form() : Portable())
          .convert_bgr_to_ycc(bgr.data(), count, planes[form][0].data(), planes[form][1].data(),
                              planes[form][2].data());
    }
    for (int c = 0; c < 3; ++c) ASSERT_EQ(planes[0][c], planes[1][c]) << count << " plane " << c;

    const TBytes upper = RandomBytes(2 * static_cast<std::size_t>(count) + 32, random);
    const TBytes lower = RandomBytes(upper.size(), random);
    TBytes averaged[2];
    for (int form = 0; form < 2; ++form) {
      averaged[form].assign(static_cast<std::size_t>(count) + 1, 0xAA);
      (form == 0 ? Form() : Portable())
          .downsample_rows(upper.data(), lower.data(), count, averaged[form].data());
    }
    ASSERT_EQ(averaged[0], averaged[1]) << count;
  }
}

// Two blocks at once with different tables; random, flat, checkered and saturated samples.
TEST_P(JpegKernelForms, DctOfTwoBlocksWithEveryStep) {
  std::mt19937 random(2);
  for (int round = 0; round < 2000; ++round) {
    std::array<TBytes, 2> samples;
    std::array<std::array<std::uint16_t, 64>, 2> steps;
    for (int b = 0; b < 2; ++b) {
      samples[b] = RandomBytes(8 * 12, random);  // rows 12 bytes apart
      const int kind = (round + b) % 4;
      for (std::size_t i = 0; i < samples[b].size(); ++i) {
        if (kind == 1) samples[b][i] = static_cast<std::uint8_t>(round);
        if (kind == 2) samples[b][i] = ((i % 12) + i / 12) % 2 ? 255 : 0;
        if (kind == 3) samples[b][i] = samples[b][i] < 128 ? 0 : 255;
      }
      for (int i = 0; i < 64; ++i)
        steps[b][static_cast<std::size_t>(i)] =
            static_cast<std::uint16_t>(round < 255 ? round + 1 : 1 + random() % 255);
    }
    const TJpegDivisors first_divisors(steps[0]), second_divisors(steps[1]);
    std::array<std::array<std::int16_t, 64>, 2> results[2];
    for (int form = 0; form < 2; ++form) {
      const TJpegBlockSource first{samples[0].data(), 12, &first_divisors, results[form][0].data()};
      const TJpegBlockSource second{samples[1].data(), 12, &second_divisors,
                                    results[form][1].data()};
      (form == 0 ? Form() : Portable()).forward_dct_pair(first, second);
    }
    ASSERT_EQ(results[0], results[1]) << "round " << round;
  }
}

// Blocks with few or many coefficients, long runs of zeros, the largest values and the last
// place taken, coded one after another (the DC differences carry over).
TEST_P(JpegKernelForms, BlockCodingOfEveryKindOfBlock) {
  // Made-up tables with a code of its own length for every symbol.
  TJpegHuffmanCodes dc, ac;
  for (int s = 0; s < 256; ++s) {
    dc.code[static_cast<std::size_t>(s)] = static_cast<std::uint16_t>(s * 7 + 1);
    dc.size[static_cast<std::size_t>(s)] = static_cast<std::uint8_t>(9 + s % 8);
    ac.code[static_cast<std::size_t>(s)] = static_cast<std::uint16_t>(s * 13 + 5);
    ac.size[static_cast<std::size_t>(s)] = static_cast<std::uint8_t>(9 + s % 8);
  }
  std::mt19937 random(3);
  TJpegBitString bits[2];
  int last_dc[2] = {0, 0};
  for (int block = 0; block < 3000; ++block) {
    std::array<std::int16_t, 64> coefficients{};
    const int filled = block % 5 == 0 ? 64 : static_cast<int>(random() % 12);
    const int largest = block % 3 == 0 ? 1023 : 40;
    for (int i = 0; i < filled; ++i)
      coefficients[random() % 64] =
          static_cast<std::int16_t>(static_cast<int>(random() % (2 * largest + 1)) - largest);
    if (block % 7 == 0) coefficients[63] = -1023;  // the last place in zigzag order
    coefficients[0] = static_cast<std::int16_t>(static_cast<int>(random() % 4095) - 2047);
    for (int form = 0; form < 2; ++form) {
      bits[form].Reserve(1024);
      (form == 0 ? Form() : Portable())
          .put_block(bits[form], coefficients.data(), last_dc[form], dc, ac);
    }
  }
  ASSERT_EQ(bits[0].Size(), bits[1].Size());
  EXPECT_TRUE(std::equal(bits[0].Data(), bits[0].Data() + bits[0].Size(), bits[1].Data()));
  EXPECT_EQ(bits[0].TailCount(), bits[1].TailCount());
  EXPECT_EQ(bits[0].TailBits(), bits[1].TailBits());
  EXPECT_EQ(last_dc[0], last_dc[1]);
}

INSTANTIATE_TEST_SUITE_P(Forms, JpegKernelForms,
                         ::testing::ValuesIn(testing::FormsOf(JpegKernelVariants(), false)),
                         testing::kFormName);
// Processors other than x86-64 have only the portable form.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(JpegKernelForms);

}  // namespace
}  // namespace qv
