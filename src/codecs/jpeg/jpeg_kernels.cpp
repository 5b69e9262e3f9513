// The forms of the band encoder's functions.
#include "codecs/jpeg/jpeg_kernels.h"

#include "codecs/jpeg/jpeg_forward_dct_x86.h"
#include "codecs/jpeg/jpeg_huffman_coder_x86.h"

namespace qv {

std::span<const TVariant<TJpegKernels>> JpegKernelVariants() {
  static constexpr TVariant<TJpegKernels> kForms[] = {
      QV_X86_FORM(
          "avx2", {TCpuFeature::kAvx2, TCpuFeature::kBmi2},
          {ConvertBgrToYccAvx2, DownsampleRowsAvx2, ForwardDctPairAvx2, PutJpegBlockAvx2})  //
      {"portable", {}, {ConvertBgrToYcc, DownsampleRows, ForwardDctPair, PutJpegBlock}}};
  return kForms;
}

}  // namespace qv
