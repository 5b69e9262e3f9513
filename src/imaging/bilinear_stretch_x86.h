// The bilinear stretch's separable sums with AVX2 and FMA, for x86 processors
// (bilinear_stretch_x86.cpp).
#pragma once

#include "imaging/bilinear_stretch_forms.h"
#include "simd/cpu_features.h"

namespace qv {

#if defined(QV_SIMD_X86)
// TStretchForms::column_sums and row_sums (bilinear_stretch_forms.h); only where the processor
// has kAvx2 and kFma.
void StretchColumnSumsAvx2(const std::vector<const std::uint8_t*>& rows, const TStretchTap* begin,
                           const TStretchTap* end, int bytes, double* sums);
void StretchRowSumsAvx2(const double* sums, const TAxisTaps& columns, int width, double* out);
// TStretchForms::row_bytes, four pixels a step; only where the processor has kAvx2.
int StretchRowBytesAvx2(const double* sums, int width, double inverse_area, double margin,
                        std::uint8_t* out, int* near);
#endif

}  // namespace qv
