// Progressive JPEG files with a chosen number of scans, all following the progression rules.
#pragma once

#include <cstdint>
#include <vector>

namespace qv::testing {

// A grey width x height picture compressed progressively in scans scans (1 to 704): the DC
// coefficients first at 10 bits less and refined bit by bit, then each AC coefficient alone,
// first at 10 bits less and refined bit by bit, in that order, as far as the count goes.
// Scans 0 makes an ordinary sequential file of the same picture.
std::vector<std::uint8_t> MakeManyScanJpeg(int width, int height, int scans);

// The largest count MakeManyScanJpeg can make: 11 DC scans and 11 for each of the 63 AC
// coefficients.
inline constexpr int kMostPossibleScans = 11 * 64;

}  // namespace qv::testing
