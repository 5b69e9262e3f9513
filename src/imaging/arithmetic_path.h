// How a resampler forms its sums: as written, or by the fastest form of its inner loops.
#pragma once

namespace qv {

// kExtended evaluates every statement as written, in x87 extended precision, storing each
// result at the width the resampler gives it. kFastest takes the fastest form of the inner loops
// the processor has (vector code, fused multiply-adds); each resampler says which bytes that
// gives (the filtered resampler and the bilinear stretch: always the same).
enum class TArithmeticPath { kFastest, kExtended };

}  // namespace qv
