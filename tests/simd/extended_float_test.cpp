// TSoftExtended against the x87 unit, operation by operation, on operands chosen to meet every
// rounding case: random 64-bit significands, ties and near-ties, sums far apart in scale and
// near-cancellations, and conversions down to the subnormal floats and doubles. Where long double
// is not the x87 format there is nothing to compare with, and the suite is skipped.
#include "simd/extended_float.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace qv {
namespace {

constexpr bool kX87 = LDBL_MANT_DIG == 64;

// The same value, sign of zero included.
::testing::AssertionResult Same(long double expected, TSoftExtended actual) {
  const auto got = static_cast<long double>(actual);
  if (got == expected && std::signbit(got) == std::signbit(expected))
    return ::testing::AssertionSuccess();
  char text[96];
  std::snprintf(text, sizeof text, "expected %La, got %La", expected, got);
  return ::testing::AssertionFailure() << text;
}

// Operands: random significands at random scales, and values a few units from powers of two and
// from halves (where sums and products land on ties).
std::vector<long double> Operands() {
  std::mt19937_64 random(7);
  std::vector<long double> values = {0.0L, -0.0L, 1.0L, -1.0L, 0.5L, 3.0L, 255.0L, 0.500001L};
  for (int i = 0; i < 600; ++i) {
    const auto significand = static_cast<long double>(random() | std::uint64_t{1} << 63);
    const int scale = static_cast<int>(random() % 160) - 80 - 63;
    long double value = std::ldexp(significand, scale);
    if (i % 2) value = -value;
    values.push_back(value);
  }
  for (int k = -70; k <= 70; k += 7)
    for (long double units : {-3.0L, -1.0L, 1.0L, 2.0L})
      values.push_back(std::ldexp(1.0L, k) + units * std::ldexp(1.0L, k - 63));
  for (int k = 0; k < 40; ++k)
    values.push_back(static_cast<long double>(k) + 0.5L + (k % 3 - 1) * std::ldexp(1.0L, -60));
  return values;
}

class SoftExtended : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kX87) GTEST_SKIP() << "long double is not the x87 format here";
  }
};

TEST_F(SoftExtended, ArithmeticRoundsAsTheX87Unit) {
  const std::vector<long double> values = Operands();
  for (long double a : values) {
    const TSoftExtended soft_a(a);
    ASSERT_TRUE(Same(a, soft_a));
    for (long double b : values) {
      const TSoftExtended soft_b(b);
      ASSERT_TRUE(Same(a + b, soft_a + soft_b)) << std::hexfloat << a << " + " << b;
      ASSERT_TRUE(Same(a - b, soft_a - soft_b)) << std::hexfloat << a << " - " << b;
      ASSERT_TRUE(Same(a * b, soft_a * soft_b)) << std::hexfloat << a << " * " << b;
      if (b != 0) {
        ASSERT_TRUE(Same(a / b, soft_a / soft_b)) << std::hexfloat << a << " / " << b;
      }
      ASSERT_EQ(a < b, soft_a < soft_b);
      ASSERT_EQ(a == b, soft_a == soft_b);
      ASSERT_EQ(a >= b, soft_a >= soft_b);
    }
  }
}

TEST_F(SoftExtended, ConversionsAndIntegralValuesAsTheX87Unit) {
  std::vector<long double> values = Operands();
  // Down to and below the smallest normal float and double, and the integral cases.
  for (int k : {-126, -127, -140, -149, -150, -1022, -1030, -1074, -1075})
    for (long double f : {1.0L, 1.5L, 1.75L, 1.0L + std::ldexp(1.0L, -40)})
      values.push_back(std::ldexp(f, k));
  for (long double v : {0.3L, 0.5L, 0.7L, 1.5L, 2.5L, 2.0L, 1e18L, 123456.5L})
    for (long double sign : {1.0L, -1.0L}) values.push_back(sign * v);
  for (long double v : values) {
    const TSoftExtended soft(v);
    const auto as_double = static_cast<double>(v);
    const auto as_float = static_cast<float>(v);
    const auto soft_double = static_cast<double>(soft);
    ASSERT_EQ(std::memcmp(&as_double, &soft_double, 8), 0) << std::hexfloat << v;
    const auto soft_float = static_cast<float>(soft);
    ASSERT_EQ(std::memcmp(&as_float, &soft_float, 4), 0) << std::hexfloat << v;
    ASSERT_TRUE(Same(std::floor(v), Floor(soft))) << std::hexfloat << v;
    ASSERT_TRUE(Same(std::ceil(v), Ceil(soft))) << std::hexfloat << v;
    ASSERT_TRUE(Same(std::trunc(v), Trunc(soft))) << std::hexfloat << v;
    ASSERT_TRUE(Same(std::rint(v), Rint(soft))) << std::hexfloat << v;
    if (std::fabs(v) < 0x1p62L) {
      ASSERT_EQ(static_cast<long long>(v), static_cast<long long>(soft));
    }
    // From a double or a float, exactly.
    ASSERT_TRUE(Same(as_double, TSoftExtended(as_double)));
    ASSERT_TRUE(Same(as_float, TSoftExtended(as_float)));
  }
  for (long long i : {0LL, 1LL, -1LL, 255LL, -65535LL, 1LL << 62, -(1LL << 62) - 3})
    ASSERT_TRUE(Same(static_cast<long double>(i), TSoftExtended(i)));
}

}  // namespace
}  // namespace qv
