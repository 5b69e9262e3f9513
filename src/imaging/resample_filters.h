// The convolution kernels of the filtered resampler and the table that pairs each with its support.
#pragma once

#include <array>

namespace qv {

// A filter kernel: weight at a signed distance from the sample point (source pixels at scale 1).
using TFilterKernel = float (*)(float x);

// Each kernel evaluates in x87 extended precision and rounds the intermediates the resampler's
// results depend on to 32-bit floats, as noted per kernel. All but Box use abs(x) and are 0 from
// their support on.
float MitchellFilter(float x);  // B = C = 1/3, support 2
float Lanczos3Filter(float x);  // Sinc(t) x Sinc(t / 3), support 3
float BSplineFilter(float x);   // cubic B-spline, support 2
float BellFilter(float x);      // quadratic, support 1.5
float HermiteFilter(float x);   // support 1
float TriangleFilter(float x);  // support 1
float BoxFilter(float x);       // 1 on (-0.5, 0.5], on the signed argument

// sin(pi x) / (pi x), with pi x rounded to a 32-bit float before the sine; 1 at 0.
float Sinc(float x);

struct TResampleFilter {
  TFilterKernel kernel;
  float support;  // radius from which on the kernel is 0
};

// Rows 0..6: Mitchell, Lanczos3, B-Spline, Bell, Hermite, Triangle, Box. Resample method m (2..5)
// of the conversion job uses row m - 2.
extern const std::array<TResampleFilter, 7> ResampleFilterTable;

}  // namespace qv
