// PNG row filters (None, Sub, Up, Average, Paeth) in both directions, and row scoring.
#include "codecs/png_filters.h"

#include <cstdlib>
#include <cstring>

namespace qv {

std::uint8_t PaethPredictor(int a, int b, int c) {
  int pa = std::abs(b - c);
  int pb = std::abs(a - c);
  int pc = std::abs(a + b - 2 * c);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
  if (pb <= pc) return static_cast<std::uint8_t>(b);
  return static_cast<std::uint8_t>(c);
}

void FilterRow(TPngFilterType type, const std::uint8_t* row, const std::uint8_t* previous,
               std::uint8_t* out, std::size_t size, std::size_t pixel_bytes) {
  std::size_t lead = pixel_bytes < size ? pixel_bytes : size;
  switch (type) {
    case kFilterNone:
      std::memcpy(out, row, size);
      break;
    case kFilterSub:
      std::memcpy(out, row, lead);
      for (std::size_t i = lead; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - row[i - pixel_bytes]);
      break;
    case kFilterUp:
      for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(row[i] - previous[i]);
      break;
    case kFilterAverage:
      for (std::size_t i = 0; i < lead; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - (previous[i] >> 1));
      for (std::size_t i = lead; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - ((row[i - pixel_bytes] + previous[i]) >> 1));
      break;
    case kFilterPaeth:
      for (std::size_t i = 0; i < lead; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - previous[i]);  // predictor(0, b, 0) is b
      for (std::size_t i = lead; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(
            row[i] - PaethPredictor(row[i - pixel_bytes], previous[i], previous[i - pixel_bytes]));
      break;
  }
}

void UnfilterRow(int type, std::uint8_t* row, const std::uint8_t* previous, std::size_t size,
                 std::size_t pixel_bytes) {
  std::size_t lead = pixel_bytes < size ? pixel_bytes : size;
  switch (type) {
    case kFilterSub:
      for (std::size_t i = lead; i < size; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + row[i - pixel_bytes]);
      break;
    case kFilterUp:
      for (std::size_t i = 0; i < size; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
      break;
    case kFilterAverage:
      for (std::size_t i = 0; i < lead; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + (previous[i] >> 1));
      for (std::size_t i = lead; i < size; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - pixel_bytes] + previous[i]) >> 1));
      break;
    case kFilterPaeth:
      for (std::size_t i = 0; i < lead; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
      for (std::size_t i = lead; i < size; ++i)
        row[i] = static_cast<std::uint8_t>(
            row[i] + PaethPredictor(row[i - pixel_bytes], previous[i], previous[i - pixel_bytes]));
      break;
    default:
      break;  // None, and unknown types, leave the row as it is
  }
}

std::size_t ScoreFilteredRow(const std::uint8_t* row, std::size_t size) {
  std::size_t score = 0;
  for (std::size_t j = 2; j < size; ++j)
    if (row[j] == row[j - 1] || row[j] == row[j - 2]) ++score;
  return score;
}

}  // namespace qv
