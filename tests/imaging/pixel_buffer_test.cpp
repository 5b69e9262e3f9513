// Tests of the pixel buffer: zero-filled on both of its allocation routes, copies independent.
#include "imaging/pixel_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace qv {
namespace {

bool AllZero(const TPixelBuffer& buffer) {
  return std::all_of(buffer.data(), buffer.data() + buffer.size(),
                     [](std::uint8_t b) { return b == 0; });
}

// Sizes below, at and above the size that is mapped on its own, and odd ones.
class PixelBufferSizes : public testing::TestWithParam<std::size_t> {};

TEST_P(PixelBufferSizes, NewBuffersAreZeroAndCopiesIndependent) {
  const std::size_t size = GetParam();
  TPixelBuffer buffer(size);
  ASSERT_EQ(buffer.size(), size);
  ASSERT_NE(buffer.data(), nullptr);
  EXPECT_FALSE(buffer.empty());
  EXPECT_TRUE(AllZero(buffer));
  // Both ends are writable.
  buffer.data()[size - 1] = 2;
  buffer.data()[0] = 1;

  TPixelBuffer copy(buffer);
  ASSERT_EQ(copy.size(), size);
  EXPECT_NE(copy.data(), buffer.data());
  EXPECT_EQ(std::memcmp(copy.data(), buffer.data(), size), 0);
  copy.data()[0] = 7;
  EXPECT_EQ(buffer.data()[0], 1);

  // A buffer freed and asked for again is zero again, whatever was written before.
  std::memset(buffer.data(), 0xAB, size);
  buffer = TPixelBuffer();
  buffer = TPixelBuffer(size);
  EXPECT_TRUE(AllZero(buffer));
}

INSTANTIATE_TEST_SUITE_P(Sizes, PixelBufferSizes,
                         testing::Values(std::size_t{1}, std::size_t{4099}, kLargePixelBuffer - 1,
                                         kLargePixelBuffer, kLargePixelBuffer + 12345,
                                         3 * kLargePixelBuffer));

TEST(PixelBuffer, LargeBuffersStartOnAHugePageBoundary) {
  TPixelBuffer buffer(kLargePixelBuffer + 1);
  auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
  EXPECT_EQ(address % (std::uintptr_t{2} << 20), 0u);
#else
  EXPECT_NE(address, 0u);
#endif
}

TEST(PixelBuffer, MovesHandOverTheBytes) {
  TPixelBuffer a(kLargePixelBuffer);
  a.data()[5] = 9;
  const std::uint8_t* bytes = a.data();
  TPixelBuffer b(std::move(a));
  EXPECT_EQ(b.data(), bytes);
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(a.data(), nullptr);
  TPixelBuffer c(16);
  c = std::move(b);
  EXPECT_EQ(c.data(), bytes);
  EXPECT_EQ(c.data()[5], 9);
  EXPECT_EQ(c.size(), kLargePixelBuffer);
  TPixelBuffer empty;
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(empty.size(), 0u);
  TPixelBuffer empty_copy(empty);
  EXPECT_TRUE(empty_copy.empty());
}

}  // namespace
}  // namespace qv
