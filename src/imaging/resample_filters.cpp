// The convolution kernels of the filtered resampler.
//
// The arithmetic is x87 extended precision (long double); every value that the kernel stores in a
// 32-bit variable is rounded to float at that point, because the resampler's bytes depend on it.
#include "imaging/resample_filters.h"

#include <cmath>

namespace qv {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr long double kSixteenThirds = 16.0L / 3.0L;
constexpr long double kSevenThirds = 7.0L / 3.0L;
constexpr long double kThirtyTwoThirds = 32.0L / 3.0L;
constexpr long double kTwoThirds = 2.0L / 3.0L;
constexpr long double kOneSixth = 1.0L / 6.0L;

// Relative distance from a rounding midpoint of the float grid beyond which a quotient formed
// with the double sine rounds to the same float as one formed with the extended sine. The double
// sine is within a unit or two in the last place (2^-52 relative), so this leaves a wide margin.
constexpr long double kMidpointMargin = 0x1p-40L;

// sin(y) / y in extended precision, rounded to float. The extended sine is tens of times slower
// than the double one, and a Lanczos reduction evaluates it for every tap of every list; the
// double sine gives the same float unless the quotient lies within kMidpointMargin of a
// midpoint between two floats, and only then is the extended sine taken.
float SineOver(float y) {
  const long double quotient =
      static_cast<long double>(std::sin(static_cast<double>(y))) / static_cast<long double>(y);
  const auto rounded = static_cast<float>(quotient);
  const long double below =
      (static_cast<long double>(rounded) + std::nextafter(rounded, -HUGE_VALF)) / 2.0L;
  const long double above =
      (static_cast<long double>(rounded) + std::nextafter(rounded, HUGE_VALF)) / 2.0L;
  const long double margin = std::fabs(quotient) * kMidpointMargin;
  if (quotient - below > margin && above - quotient > margin) return rounded;
  return static_cast<float>(std::sin(static_cast<long double>(y)) / static_cast<long double>(y));
}

}  // namespace

float Sinc(float x) {
  if (x == 0.0f) return 1.0f;
  // The product is stored before the sine, so Sinc(1) is sin(float(pi)) / float(pi), not 0.
  auto y = static_cast<float>(static_cast<long double>(x) * kPi);
  return SineOver(y);
}

float MitchellFilter(float x) {
  float t = std::fabs(x);
  auto tt = static_cast<float>(static_cast<long double>(t) * t);
  long double lt = t;
  if (t < 1.0f) {
    auto poly = static_cast<float>(7.0L * (lt * tt) - 12.0L * tt + kSixteenThirds);
    return static_cast<float>(poly / 6.0L);
  }
  if (t < 2.0f) {
    auto poly =
        static_cast<float>(-kSevenThirds * (lt * tt) + 12.0L * tt - 20.0L * lt + kThirtyTwoThirds);
    return static_cast<float>(poly / 6.0L);
  }
  return 0.0f;
}

float Lanczos3Filter(float x) {
  float t = std::fabs(x);
  if (t < 3.0f) {
    float near = Sinc(t);
    auto third = static_cast<float>(static_cast<long double>(t) / 3.0L);
    return static_cast<float>(static_cast<long double>(near) * Sinc(third));
  }
  return 0.0f;
}

float BSplineFilter(float x) {
  float t = std::fabs(x);
  long double lt = t;
  if (t < 1.0f) {
    auto tt = static_cast<float>(lt * t);
    return static_cast<float>(0.5L * tt * lt - tt + kTwoThirds);
  }
  if (t < 2.0f) {
    auto v = static_cast<float>(2.0L - lt);
    long double lv = v;
    return static_cast<float>(kOneSixth * (lv * lv * lv));
  }
  return 0.0f;
}

float BellFilter(float x) {
  float t = std::fabs(x);
  long double lt = t;
  if (t < 0.5f) return static_cast<float>(0.75L - lt * lt);
  if (t < 1.5f) {
    auto v = static_cast<float>(lt - 1.5L);
    long double lv = v;
    return static_cast<float>(0.5L * (lv * lv));
  }
  return 0.0f;
}

float HermiteFilter(float x) {
  float t = std::fabs(x);
  long double lt = t;
  if (t < 1.0f) return static_cast<float>(lt * lt * (2.0L * lt - 3.0L) + 1.0L);
  return 0.0f;
}

float TriangleFilter(float x) {
  float t = std::fabs(x);
  if (t < 1.0f) return static_cast<float>(1.0L - t);
  return 0.0f;
}

float BoxFilter(float x) { return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f; }

const std::array<TResampleFilter, 7> ResampleFilterTable = {{
    {MitchellFilter, 2.0f},
    {Lanczos3Filter, 3.0f},
    {BSplineFilter, 2.0f},
    {BellFilter, 1.5f},
    {HermiteFilter, 1.0f},
    {TriangleFilter, 1.0f},
    {BoxFilter, 0.5f},
}};

}  // namespace qv
