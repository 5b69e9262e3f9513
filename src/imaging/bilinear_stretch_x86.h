// The bilinear stretch's row in 64-bit floats with AVX2, for x86 processors
// (bilinear_stretch_x86.cpp).
#pragma once

#include "imaging/bilinear_stretch_forms.h"
#include "simd/cpu_features.h"

namespace qv {

#if defined(QV_SIMD_X86)
// StretchRowDouble (bilinear_stretch_forms.h), the same bytes; only where the processor has
// kAvx2.
void StretchRowDoubleAvx2(const TRowJob& job);
#endif

}  // namespace qv
