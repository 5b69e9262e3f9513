// Parameterised suites over the forms of an accelerated function (simd/variants.h): one case per
// form, named after it, skipped where the processor lacks what the form needs.
#pragma once

#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "simd/variants.h"
#include "support/test_names.h"

namespace qv::testing {

template <class F>
class FormTest : public ::testing::TestWithParam<const TVariant<F>*> {
 protected:
  void SetUp() override {
    if (!ProcessorFeatures().Covers(this->GetParam()->needs))
      GTEST_SKIP() << "the processor lacks what the " << this->GetParam()->name << " form needs";
  }
  const F& Form() const { return this->GetParam()->function; }
};

// The forms of the list, all or only those with needs (the portable one left out).
template <class F>
std::vector<const TVariant<F>*> FormsOf(std::span<const TVariant<F>> variants,
                                        bool portable_too = true) {
  std::vector<const TVariant<F>*> forms;
  for (const TVariant<F>& variant : variants)
    if (portable_too || !variant.needs.Empty()) forms.push_back(&variant);
  return forms;
}

// The case name of a form.
inline constexpr auto kFormName = [](const auto& test_info) {
  return NameOf(test_info.param->name);
};

}  // namespace qv::testing
