// Width tables of the standard Type 1 faces (Courier, Helvetica and Times) in WinAnsiEncoding.
#pragma once

#include <cstdint>
#include <span>

namespace qv {

// The faces with distinct metrics: the oblique Helvetica faces share the upright widths, and all
// Courier faces are 600 throughout.
enum class TStandardFace {
  kCourier,
  kHelvetica,
  kHelveticaBold,
  kTimesRoman,
  kTimesBold,
  kTimesItalic,
  kTimesBoldItalic
};

// The 224 advance widths (thousandths of the text size) for codes 32 to 255.
std::span<const std::uint16_t, 224> StandardFontWidths(TStandardFace face);

}  // namespace qv
