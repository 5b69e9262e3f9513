// The processor's features, from CPUID on x86 (through the compiler's cpu model, which also asks
// the operating system whether it saves the AVX registers) and from the architecture elsewhere.
#include "simd/cpu_features.h"

#include <cstdlib>
#include <cstring>

namespace qv {

namespace {

TCpuFeatures AskProcessor() {
  TCpuFeatures features;
#if defined(QV_SIMD_X86)
  __builtin_cpu_init();
  auto add = [&features](bool has, TCpuFeature feature) {
    if (has) features = features.With(feature);
  };
  add(__builtin_cpu_supports("sse2"), TCpuFeature::kSse2);
  add(__builtin_cpu_supports("avx2"), TCpuFeature::kAvx2);
  add(__builtin_cpu_supports("fma"), TCpuFeature::kFma);
  add(__builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
          __builtin_cpu_supports("lzcnt"),
      TCpuFeature::kBmi2);
  add(__builtin_cpu_supports("pclmul"), TCpuFeature::kPclmul);
#elif defined(__aarch64__)
  // The fused multiply-add belongs to the base architecture.
  features = TCpuFeatures{TCpuFeature::kFma};
#endif
  return features;
}

}  // namespace

TCpuFeatures ProcessorFeatures() {
  static const TCpuFeatures features = AskProcessor();
  return features;
}

TCpuFeatures FeaturesAllowedBy(const char* qv_simd, TCpuFeatures processor) {
  if (qv_simd != nullptr && std::strcmp(qv_simd, "none") == 0) return {};
  return processor;
}

TCpuFeatures EnabledFeatures() {
  static const TCpuFeatures features =
      FeaturesAllowedBy(std::getenv("QV_SIMD"), ProcessorFeatures());
  return features;
}

}  // namespace qv
