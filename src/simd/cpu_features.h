// What the processor offers the accelerated code, asked once per process in this one place.
//
// Every accelerated function has a portable form (plain C++ that builds on any processor and
// gives the same bytes) and is chosen once, through a list of its forms (simd/variants.h), from
// the features below. QV_SIMD=none in the environment leaves every function its portable form.
// Code for one architecture lives only in sources guarded by QV_SIMD_X86 (or its like), which
// build to nothing elsewhere.
#pragma once

#include <cstdint>
#include <initializer_list>

// The x86 forms are written for 64-bit x86 (x86-64); 32-bit x86 runs the portable ones.
#if defined(__x86_64__)
#define QV_SIMD_X86 1
#endif

namespace qv {

// The instruction-set extensions the accelerated code uses.
enum class TCpuFeature : std::uint32_t {
  kSse2 = 1u << 0,
  kAvx2 = 1u << 1,
  // Fused multiply-add in one instruction (x86 FMA3; every aarch64 processor has it).
  kFma = 1u << 2,
  // BMI1, BMI2 and LZCNT, which bit-packing code uses together.
  kBmi2 = 1u << 3,
  // Carry-less multiplication (PCLMULQDQ).
  kPclmul = 1u << 4,
};

// A set of features.
class TCpuFeatures {
 public:
  constexpr TCpuFeatures() = default;
  constexpr TCpuFeatures(std::initializer_list<TCpuFeature> features) {
    for (TCpuFeature feature : features) bits_ |= static_cast<std::uint32_t>(feature);
  }
  // This set and feature.
  constexpr TCpuFeatures With(TCpuFeature feature) const {
    TCpuFeatures result = *this;
    result.bits_ |= static_cast<std::uint32_t>(feature);
    return result;
  }
  constexpr bool Has(TCpuFeature feature) const {
    return (bits_ & static_cast<std::uint32_t>(feature)) != 0;
  }
  // True when every feature of needs is in this set (always for an empty needs).
  constexpr bool Covers(TCpuFeatures needs) const { return (bits_ & needs.bits_) == needs.bits_; }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TCpuFeatures, TCpuFeatures) = default;

 private:
  std::uint32_t bits_ = 0;
};

// The features of the processor the program runs on (asked once; the operating system's
// support for the wider registers included).
TCpuFeatures ProcessorFeatures();

// The features accelerated code may use: ProcessorFeatures(), or none when the environment
// variable QV_SIMD is "none" (read once, at the first call).
TCpuFeatures EnabledFeatures();

// The features left to accelerated code by a value of QV_SIMD (null when it is not set): none
// for "none", all of processor's for anything else.
TCpuFeatures FeaturesAllowedBy(const char* qv_simd, TCpuFeatures processor);

}  // namespace qv
