// Transforms to sRGB through LittleCMS.
//
// LittleCMS keeps the last pixel it transformed in the transform unless told not to
// (cmsFLAGS_NOCACHE); without that cache a built transform is only read while it runs, so one
// transform serves every worker of a drop at once. A grey transform has only 256 inputs: it is
// run once over all of them and kept as a table.
#include "colour/colour_transform.h"

#include <lcms2.h>

#include <algorithm>
#include <limits>

#include "colour/icc_profile.h"
#include "runtime/strings.h"

namespace qv {

namespace {

cmsUInt32Number LcmsFormat(TPixelLayout layout) {
  switch (layout) {
    case TPixelLayout::kBgr8: return TYPE_BGR_8;
    case TPixelLayout::kBgra8: return TYPE_BGRA_8;
    case TPixelLayout::kGrey8: return TYPE_GRAY_8;
    case TPixelLayout::kCmyk8: return TYPE_CMYK_8;
    case TPixelLayout::kCmyk8Inverted: return TYPE_CMYK_8_REV;
    case TPixelLayout::kRgb16: return TYPE_RGB_16_SE;
    case TPixelLayout::kRgba16: return TYPE_RGBA_16_SE;
  }
  return TYPE_BGR_8;
}

TColourSpace SpaceOf(TPixelLayout layout) {
  switch (layout) {
    case TPixelLayout::kGrey8: return TColourSpace::kGrey;
    case TPixelLayout::kCmyk8:
    case TPixelLayout::kCmyk8Inverted: return TColourSpace::kCmyk;
    default: return TColourSpace::kRgb;
  }
}

// Owns a profile LittleCMS made.
struct TProfileHandle {
  cmsHPROFILE handle;
  ~TProfileHandle() {
    if (handle != nullptr) cmsCloseProfile(handle);
  }
};

// Grey with sRGB's tone curve (IEC 61966-2.1's parametric form).
cmsHPROFILE CreateSrgbGrey() {
  const cmsFloat64Number parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, parameters);
  if (curve == nullptr) return nullptr;
  cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), curve);
  cmsFreeToneCurve(curve);
  return grey;
}

}  // namespace

std::size_t PixelBytes(TPixelLayout layout) {
  switch (layout) {
    case TPixelLayout::kBgr8: return 3;
    case TPixelLayout::kBgra8: return 4;
    case TPixelLayout::kGrey8: return 1;
    case TPixelLayout::kCmyk8:
    case TPixelLayout::kCmyk8Inverted: return 4;
    case TPixelLayout::kRgb16: return 6;
    case TPixelLayout::kRgba16: return 8;
  }
  return 3;
}

TColourTransform::TColourTransform(const TIccProfile& profile, TPixelLayout layout)
    : layout_(layout) {
  const TColourSpace space = SpaceOf(layout);
  if (profile.Space() != space)
    throw EColourProfile(FormatText(Tr(kProfileOtherPixels),
                                    {ColourSpaceName(profile.Space()), ColourSpaceName(space)}));
  const cmsUInt32Number flags = cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE;
  if (layout == TPixelLayout::kGrey8) {
    TProfileHandle grey{CreateSrgbGrey()};
    cmsHTRANSFORM table = grey.handle == nullptr
                              ? nullptr
                              : cmsCreateTransform(profile.Handle(), TYPE_GRAY_8, grey.handle,
                                                   TYPE_GRAY_8, INTENT_PERCEPTUAL, flags);
    if (table == nullptr) throw EColourProfile(Tr(kProfileNoTransform));
    std::array<std::uint8_t, 256> levels;
    for (std::size_t i = 0; i < levels.size(); ++i) levels[i] = static_cast<std::uint8_t>(i);
    cmsDoTransform(table, levels.data(), grey_.data(), static_cast<cmsUInt32Number>(levels.size()));
    cmsDeleteTransform(table);
    return;
  }
  TProfileHandle srgb{cmsCreate_sRGBProfile()};
  const cmsUInt32Number out_format = layout == TPixelLayout::kBgra8 ? TYPE_BGRA_8 : TYPE_BGR_8;
  // 16-bit input runs through the profile's own stages, unoptimized: LittleCMS samples a 16-bit
  // transform into a table whose interpolation misses by up to 7 levels in saturated dark
  // colours (ProPhoto RGB to sRGB, also at its high resolution), more than the 8-bit truncation
  // a 16-bit transform is there to avoid. It costs about 0.25 s a megapixel, for the 16-bit PNGs
  // alone.
  const bool deep = layout == TPixelLayout::kRgb16 || layout == TPixelLayout::kRgba16;
  if (srgb.handle != nullptr)
    transform_ = cmsCreateTransform(profile.Handle(), LcmsFormat(layout), srgb.handle, out_format,
                                    INTENT_PERCEPTUAL, deep ? flags | cmsFLAGS_NOOPTIMIZE : flags);
  if (transform_ == nullptr) throw EColourProfile(Tr(kProfileNoTransform));
}

TColourTransform::~TColourTransform() {
  if (transform_ != nullptr) cmsDeleteTransform(transform_);
}

void TColourTransform::Apply(const void* in, void* out, std::size_t count) const noexcept {
  if (layout_ == TPixelLayout::kGrey8) {
    const auto* from = static_cast<const std::uint8_t*>(in);
    auto* to = static_cast<std::uint8_t*>(out);
    for (std::size_t i = 0; i < count; ++i) to[i] = grey_[from[i]];
    return;
  }
  const std::size_t in_step = PixelBytes(layout_);
  const std::size_t out_step = layout_ == TPixelLayout::kBgra8 ? 4 : 3;
  const auto* from = static_cast<const std::uint8_t*>(in);
  auto* to = static_cast<std::uint8_t*>(out);
  constexpr std::size_t kMost = std::numeric_limits<cmsUInt32Number>::max();
  while (count > 0) {
    const std::size_t part = std::min(count, kMost);
    cmsDoTransform(transform_, from, to, static_cast<cmsUInt32Number>(part));
    from += part * in_step;
    to += part * out_step;
    count -= part;
  }
}

}  // namespace qv
