// The convolution kernels of the filtered resampler.
//
// The arithmetic is x87 extended precision (TExtended); every value that the kernel stores in a
// 32-bit variable is rounded to float at that point, because the resampler's bytes depend on it.
#include "imaging/resample_filters.h"

#include <cmath>

#include "simd/extended_float.h"

namespace qv {

namespace {

// Pi rounded to 64 bits.
const TExtended kPi = TExtended(0xc.90fdaa22168c235p-2L);
const TExtended kSixteenThirds = TExtended(16) / 3;
const TExtended kSevenThirds = TExtended(7) / 3;
const TExtended kThirtyTwoThirds = TExtended(32) / 3;
const TExtended kTwoThirds = TExtended(2) / 3;
const TExtended kOneSixth = TExtended(1) / 6;

// Relative distance from a rounding midpoint of the float grid beyond which a quotient formed
// with the double sine rounds to the same float as one formed with the extended sine. The double
// sine is within a unit or two in the last place (2^-52 relative), so this leaves a wide margin.
const TExtended kMidpointMargin = 0x1p-40;

// sin(y) / y in extended precision, rounded to float. The extended sine is tens of times slower
// than the double one, and a Lanczos reduction evaluates it for every tap of every list; the
// double sine gives the same float unless the quotient lies within kMidpointMargin of a
// midpoint between two floats, and only then is the extended sine taken.
float SineOver(float y) {
  const TExtended quotient = TExtended(std::sin(static_cast<double>(y))) / TExtended(y);
  const auto rounded = static_cast<float>(quotient);
  const TExtended below = (TExtended(rounded) + std::nextafter(rounded, -HUGE_VALF)) / 2;
  const TExtended above = (TExtended(rounded) + std::nextafter(rounded, HUGE_VALF)) / 2;
  const TExtended margin = Fabs(quotient) * kMidpointMargin;
  if (quotient - below > margin && above - quotient > margin) return rounded;
  // The extended sine: the x87 unit's on x86; elsewhere the platform's widest, rounded to 64
  // bits (extended_float.h), which rounds to the same float. Of the floats 0 .. 3 that Lanczos3
  // hands Sinc (its argument and a third of it), 3543 come here, and the exact quotient of each
  // lies at least 2^-52 (relative) from a midpoint between two floats: far more than the two
  // sines differ (the x87 one, checked against a quadruple-precision sine for all of them, by
  // under 2^-63).
  return static_cast<float>(TExtended(std::sin(static_cast<long double>(y))) / TExtended(y));
}

}  // namespace

float Sinc(float x) {
  if (x == 0.0f) return 1.0f;
  // The product is stored before the sine, so Sinc(1) is sin(float(pi)) / float(pi), not 0.
  auto y = static_cast<float>(TExtended(x) * kPi);
  return SineOver(y);
}

float MitchellFilter(float x) {
  float t = std::fabs(x);
  auto tt = static_cast<float>(TExtended(t) * t);
  const TExtended lt = t;
  if (t < 1.0f) {
    auto poly = static_cast<float>(TExtended(7) * (lt * tt) - TExtended(12) * tt + kSixteenThirds);
    return static_cast<float>(TExtended(poly) / 6);
  }
  if (t < 2.0f) {
    auto poly = static_cast<float>(-kSevenThirds * (lt * tt) + TExtended(12) * tt -
                                   TExtended(20) * lt + kThirtyTwoThirds);
    return static_cast<float>(TExtended(poly) / 6);
  }
  return 0.0f;
}

float Lanczos3Filter(float x) {
  float t = std::fabs(x);
  if (t < 3.0f) {
    float near = Sinc(t);
    auto third = static_cast<float>(TExtended(t) / 3);
    return static_cast<float>(TExtended(near) * Sinc(third));
  }
  return 0.0f;
}

float BSplineFilter(float x) {
  float t = std::fabs(x);
  const TExtended lt = t;
  if (t < 1.0f) {
    auto tt = static_cast<float>(lt * t);
    return static_cast<float>(TExtended(0.5) * tt * lt - tt + kTwoThirds);
  }
  if (t < 2.0f) {
    auto v = static_cast<float>(2 - lt);
    const TExtended lv = v;
    return static_cast<float>(kOneSixth * (lv * lv * lv));
  }
  return 0.0f;
}

float BellFilter(float x) {
  float t = std::fabs(x);
  const TExtended lt = t;
  if (t < 0.5f) return static_cast<float>(0.75 - lt * lt);
  if (t < 1.5f) {
    auto v = static_cast<float>(lt - 1.5);
    const TExtended lv = v;
    return static_cast<float>(TExtended(0.5) * (lv * lv));
  }
  return 0.0f;
}

float HermiteFilter(float x) {
  float t = std::fabs(x);
  const TExtended lt = t;
  if (t < 1.0f) return static_cast<float>(lt * lt * (2 * lt - 3) + 1);
  return 0.0f;
}

float TriangleFilter(float x) {
  float t = std::fabs(x);
  if (t < 1.0f) return static_cast<float>(1 - TExtended(t));
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
