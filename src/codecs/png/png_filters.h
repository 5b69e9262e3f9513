// The five PNG row filters, their inverse, and the row score the encoder uses to choose one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "simd/variants.h"

namespace qv {

enum TPngFilterType : std::uint8_t {
  kFilterNone = 0,
  kFilterSub,
  kFilterUp,
  kFilterAverage,
  kFilterPaeth
};

// Paeth predictor of the left (a), above (b) and upper-left (c) bytes.
std::uint8_t PaethPredictor(int a, int b, int c);

// Writes the filtered form of row into out (size bytes each); previous is the unfiltered row
// above (zeros for the first row of an image or pass); pixel_bytes is the left-neighbour offset.
void FilterRow(TPngFilterType type, const std::uint8_t* row, const std::uint8_t* previous,
               std::uint8_t* out, std::size_t size, std::size_t pixel_bytes);

// Reconstructs row in place from its filtered form; a type above 4 leaves it unchanged.
void UnfilterRow(int type, std::uint8_t* row, const std::uint8_t* previous, std::size_t size,
                 std::size_t pixel_bytes);

// The forms of UnfilterRow, the portable one (UnfilterRowPortable: byte loops) last.
using TUnfilterRowFunction = void (*)(int type, std::uint8_t* row, const std::uint8_t* previous,
                                      std::size_t size, std::size_t pixel_bytes);
std::span<const TVariant<TUnfilterRowFunction>> UnfilterRowVariants();
void UnfilterRowPortable(int type, std::uint8_t* row, const std::uint8_t* previous,
                         std::size_t size, std::size_t pixel_bytes);

// Number of positions j in 2..size-1 whose byte equals the byte at j-1 or at j-2.
std::size_t ScoreFilteredRow(const std::uint8_t* row, std::size_t size);

// Sum over the row of each byte's distance from zero as a signed byte (min(b, 256 - b)); smaller
// sums compress better in general.
std::size_t SumOfAbsoluteValues(const std::uint8_t* row, std::size_t size);

}  // namespace qv
