// The forms of an accelerated function and the choice among them, as libjpeg-turbo's jsimd and
// zlib-ng's function table make it: each function keeps a list of its forms, fastest first and
// the portable one last, and the first form whose features the processor has (and QV_SIMD
// allows) is taken once, at the first call. Tests run every form the processor has against the
// portable one, whatever QV_SIMD says.
#pragma once

#include <cstddef>
#include <span>

#include "simd/cpu_features.h"

namespace qv {

// One form of an accelerated function: a name for tests and benchmarks, the features it needs
// (none for the portable form), and the function, or a table of functions that go together.
template <class F>
struct TVariant {
  const char* name;
  TCpuFeatures needs;
  F function;
};

// An entry of a list of forms that only x86-64 has: {name, needs, function} and a comma there,
// nothing elsewhere. The entries of the portable form follow it.
#if defined(QV_SIMD_X86)
#define QV_X86_FORM(...) {__VA_ARGS__},
#else
#define QV_X86_FORM(...)
#endif

// The first form whose needs features cover; the list's last form, the portable one, needs
// nothing.
template <class F>
const TVariant<F>& ChooseVariant(std::span<const TVariant<F>> variants, TCpuFeatures features) {
  for (const TVariant<F>& variant : variants)
    if (features.Covers(variant.needs)) return variant;
  return variants.back();
}

// The form the program uses: chosen with EnabledFeatures().
template <class F>
const TVariant<F>& ChosenVariant(std::span<const TVariant<F>> variants) {
  return ChooseVariant(variants, EnabledFeatures());
}

// The function of the form the program uses among the forms Variants() lists, chosen at the
// first call.
template <auto Variants>
const auto& Chosen() {
  static const auto& function = ChosenVariant(Variants()).function;
  return function;
}

// The portable form: the list's last.
template <class F>
const TVariant<F>& PortableVariant(std::span<const TVariant<F>> variants) {
  return variants.back();
}

}  // namespace qv
