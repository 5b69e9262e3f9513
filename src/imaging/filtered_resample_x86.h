// The filtered resampler's passes with AVX2 and FMA, for x86 processors
// (filtered_resample_x86.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/filtered_resample.h"
#include "simd/cpu_features.h"

namespace qv {

#if defined(QV_SIMD_X86)
// TResampleForms::rows and ::column_rows (filtered_resample_forms.h), the same bytes; only where
// the processor has kAvx2 and kFma.
void ResampleRowsAvx2(const std::uint8_t* src0, std::ptrdiff_t src_step, int src_width, int first,
                      int last, std::uint8_t* dst0, std::ptrdiff_t dst_step, const TRowPass& pass);
void ResampleColumnRowsAvx2(const std::uint8_t* const* rows, int width, std::uint8_t* dst0,
                            std::ptrdiff_t dst_step, int first, int last, const TColumnPass& pass);
#endif

}  // namespace qv
