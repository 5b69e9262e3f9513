// Compression of 24-bit pictures to baseline JPEG in bands of MCU rows that spare threads may
// take: each band is coded on its own, its first MCU kept aside, and the bands are joined in
// order, the first MCU of each coded then with the DC values the band before it ended on. The
// result is the file libjpeg writes for the same picture with the same header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "codecs/jpeg/jpeg_baseline_header.h"
#include "codecs/jpeg/jpeg_kernels.h"
#include "runtime/work_context.h"

namespace qv {

// Bytes to reserve for the JPEG file of a width x height picture: what a photo takes at most
// qualities (half a byte a pixel), so that the file is seldom moved as it grows; pages not
// written cost nothing.
std::size_t JpegFileRoom(int width, int height);

// The JPEG file of a width x height picture (1 to 65500 each) whose rows of BGR pixels start
// at row0, step bytes apart, made with one form of the encoder's functions (any form gives the
// same file). progress(percent) is called on the calling thread as bands are joined; what it
// throws leaves here. The spare threads of work may code bands.
std::vector<std::uint8_t> EncodeJpegInBands(const TJpegKernels& kernels,
                                            const TJpegBaselineHeader& header,
                                            const std::uint8_t* row0, std::ptrdiff_t step,
                                            int width, int height,
                                            const std::function<void(int)>& progress,
                                            const TWorkContext& work = {});

}  // namespace qv
