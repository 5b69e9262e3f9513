// PNG row filters (None, Sub, Up, Average, Paeth) in both directions, and row scoring.
#include "codecs/png/png_filters.h"

#include <cstdlib>
#include <cstring>

#include "codecs/png/png_filters_x86.h"

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
    case kFilterNone: std::memcpy(out, row, size); break;
    case kFilterSub:
      std::memcpy(out, row, lead);
      for (std::size_t i = lead; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - row[i - pixel_bytes]);
      break;
    case kFilterUp:
      for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - previous[i]);
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
      // PaethPredictor without branches, so that the compiler does many bytes a step.
      for (std::size_t i = lead; i < size; ++i) {
        const int a = row[i - pixel_bytes], b = previous[i], c = previous[i - pixel_bytes];
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int not_a = pb <= pc ? b : c;
        out[i] = static_cast<std::uint8_t>(row[i] - ((pa <= pb) & (pa <= pc) ? a : not_a));
      }
      break;
  }
}

namespace {

// The reconstruction loops with the left-neighbour offset as a compile-time constant (the
// common 1, 3 and 4-byte pixels) or a run-time value (Pixel = 0).
template <std::size_t Pixel>
void Unfilter(int type, std::uint8_t* row, const std::uint8_t* previous, std::size_t size,
              std::size_t run_time_pixel) {
  const std::size_t pixel_bytes = Pixel != 0 ? Pixel : run_time_pixel;
  std::size_t lead = pixel_bytes < size ? pixel_bytes : size;
  switch (type) {
    case kFilterSub:
      for (std::size_t i = lead; i < size; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + row[i - pixel_bytes]);
      break;
    case kFilterUp:
      for (std::size_t i = 0; i < size; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
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
    default: break;  // None, and unknown types, leave the row as it is
  }
}

}  // namespace

void UnfilterRowPortable(int type, std::uint8_t* row, const std::uint8_t* previous,
                         std::size_t size, std::size_t pixel_bytes) {
  switch (pixel_bytes) {
    case 1: Unfilter<1>(type, row, previous, size, 1); break;
    case 3: Unfilter<3>(type, row, previous, size, 3); break;
    case 4: Unfilter<4>(type, row, previous, size, 4); break;
    default: Unfilter<0>(type, row, previous, size, pixel_bytes); break;
  }
}

std::span<const TVariant<TUnfilterRowFunction>> UnfilterRowVariants() {
  static constexpr TVariant<TUnfilterRowFunction> kForms[] = {QV_X86_FORM(
      "sse2", {TCpuFeature::kSse2}, UnfilterRowSse2){"portable", {}, UnfilterRowPortable}};
  return kForms;
}

void UnfilterRow(int type, std::uint8_t* row, const std::uint8_t* previous, std::size_t size,
                 std::size_t pixel_bytes) {
  Chosen<UnfilterRowVariants>()(type, row, previous, size, pixel_bytes);
}

std::size_t ScoreFilteredRow(const std::uint8_t* row, std::size_t size) {
  std::size_t score = 0;
  for (std::size_t j = 2; j < size; ++j)
    if (row[j] == row[j - 1] || row[j] == row[j - 2]) ++score;
  return score;
}

std::size_t SumOfAbsoluteValues(const std::uint8_t* row, std::size_t size) {
  std::size_t sum = 0;
  for (std::size_t j = 0; j < size; ++j) {
    unsigned b = row[j];
    sum += b < 128 ? b : 256 - b;
  }
  return sum;
}

}  // namespace qv
