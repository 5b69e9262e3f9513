// The switch that leaves every accelerated function its portable form, and the choice among an
// accelerated function's forms.
#include "simd/cpu_features.h"

#include <gtest/gtest.h>

#include "simd/variants.h"

namespace qv {
namespace {

TEST(CpuFeatures, QvSimdNoneLeavesNothingElseLeavesTheProcessorsFeatures) {
  const TCpuFeatures processor{TCpuFeature::kSse2, TCpuFeature::kAvx2, TCpuFeature::kPclmul};
  EXPECT_TRUE(FeaturesAllowedBy("none", processor).Empty());
  EXPECT_EQ(FeaturesAllowedBy(nullptr, processor), processor);
  EXPECT_EQ(FeaturesAllowedBy("", processor), processor);
  EXPECT_EQ(FeaturesAllowedBy("avx2", processor), processor);
  EXPECT_TRUE(ProcessorFeatures().Covers(EnabledFeatures()));
}

TEST(CpuFeatures, TheFirstFormWhoseNeedsAreMetIsChosenThePortableOneOtherwise) {
  using TForm = int;
  constexpr TVariant<TForm> kForms[] = {
      {"avx2 and fma", {TCpuFeature::kAvx2, TCpuFeature::kFma}, 1},
      {"avx2", {TCpuFeature::kAvx2}, 2},
      {"portable", {}, 3},
  };
  const std::span<const TVariant<TForm>> forms = kForms;
  EXPECT_EQ(ChooseVariant(forms, {TCpuFeature::kAvx2, TCpuFeature::kFma}).function, 1);
  EXPECT_EQ(ChooseVariant(forms, {TCpuFeature::kAvx2, TCpuFeature::kSse2}).function, 2);
  EXPECT_EQ(ChooseVariant(forms, {TCpuFeature::kFma}).function, 3);
  EXPECT_EQ(ChooseVariant(forms, {}).function, 3);
  EXPECT_EQ(PortableVariant(forms).function, 3);
}

}  // namespace
}  // namespace qv
