// Fitting a picture inside a box: integer arithmetic, so every platform rounds alike.
#include "app/fit_inside.h"

#include <algorithm>
#include <cstdint>

namespace qv {

namespace {

// numerator / denominator rounded to the nearest integer, halves up (all values positive).
std::int64_t RoundedQuotient(std::int64_t numerator, std::int64_t denominator) {
  return (2 * numerator + denominator) / (2 * denominator);
}

}  // namespace

std::pair<int, int> FitInside(int width, int height, int box_width, int box_height) {
  if (width <= box_width && height <= box_height) return {width, height};
  const std::int64_t w = width, h = height, bw = box_width, bh = box_height;
  // Relatively wider than the box (w / h >= bw / bh): the width meets the box.
  if (w * bh >= h * bw) {
    std::int64_t fitted = std::max<std::int64_t>(1, RoundedQuotient(h * bw, w));
    return {box_width, static_cast<int>(fitted)};
  }
  std::int64_t fitted = std::max<std::int64_t>(1, RoundedQuotient(w * bh, h));
  return {static_cast<int>(fitted), box_height};
}

}  // namespace qv
