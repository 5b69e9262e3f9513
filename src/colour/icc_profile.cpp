// ICC profiles through LittleCMS, and the test that tells an sRGB profile by what it holds.
//
// Pictures tagged with an sRGB profile are left exactly as they are, so the test must know the
// sRGB profiles in use whatever their maker called them: HP's and Microsoft's IEC 61966-2.1 (a
// 1024-entry curve), the ICC's sRGB2014, the compact "c2" profiles of a few dozen curve points,
// LittleCMS's built-in one (a parametric curve) and the ones that colord, Ghostscript and the
// free ICC profiles ship. They agree in what matters for the pixels: the three colorants (sRGB's
// primaries adapted to D50, within the rounding of their 16.16 fixed-point encoding and of the
// adaptation each maker used) and a tone curve that is sRGB's within the curve's own precision.
// A profile passes when its colorants are within kColorantTolerance of LittleCMS's sRGB and each
// curve, taken back through the sRGB curve, lands within kCurveTolerance levels of every 8-bit
// input: a transform from such a profile to sRGB could move no pixel by a whole level. Rec. 709
// (sRGB's primaries, another curve), scRGB (a linear curve) and gamma 2.2 profiles fail.
#include "colour/icc_profile.h"

#include <lcms2.h>

#include <array>
#include <cmath>

namespace qv {

namespace {

constexpr double kColorantTolerance = 0.002;
constexpr double kCurveTolerance = 1.0;  // in levels of 255

// sRGB's encoding of a linear value.
double SrgbEncode(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

bool CurveIsSrgb(cmsHPROFILE profile, cmsTagSignature tag) {
  const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, tag));
  if (curve == nullptr) return false;
  for (int level = 0; level <= 255; ++level) {
    const double linear =
        cmsEvalToneCurveFloat(curve, static_cast<cmsFloat32Number>(level / 255.0));
    if (std::abs(SrgbEncode(linear) * 255 - level) >= kCurveTolerance) return false;
  }
  return true;
}

// The colorants of sRGB as LittleCMS's own sRGB profile holds them.
const std::array<cmsCIEXYZ, 3>& SrgbColorants() {
  static const std::array<cmsCIEXYZ, 3> colorants = [] {
    std::array<cmsCIEXYZ, 3> result{};
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                     cmsSigBlueColorantTag};
    for (int i = 0; i < 3; ++i)
      if (const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb, tags[i])))
        result[static_cast<std::size_t>(i)] = *xyz;
    cmsCloseProfile(srgb);
    return result;
  }();
  return colorants;
}

bool ColorantsAreSrgb(cmsHPROFILE profile) {
  const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                   cmsSigBlueColorantTag};
  for (int i = 0; i < 3; ++i) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[i]));
    if (xyz == nullptr) return false;
    const cmsCIEXYZ& srgb = SrgbColorants()[static_cast<std::size_t>(i)];
    if (std::abs(xyz->X - srgb.X) > kColorantTolerance ||
        std::abs(xyz->Y - srgb.Y) > kColorantTolerance ||
        std::abs(xyz->Z - srgb.Z) > kColorantTolerance)
      return false;
  }
  return true;
}

bool IsSrgbProfile(cmsHPROFILE profile, TColourSpace space) {
  if (!cmsIsMatrixShaper(profile)) return false;
  if (space == TColourSpace::kGrey) return CurveIsSrgb(profile, cmsSigGrayTRCTag);
  return space == TColourSpace::kRgb && ColorantsAreSrgb(profile) &&
         CurveIsSrgb(profile, cmsSigRedTRCTag) && CurveIsSrgb(profile, cmsSigGreenTRCTag) &&
         CurveIsSrgb(profile, cmsSigBlueTRCTag);
}

TColourSpace SpaceOf(cmsColorSpaceSignature signature) {
  switch (signature) {
    case cmsSigGrayData: return TColourSpace::kGrey;
    case cmsSigRgbData: return TColourSpace::kRgb;
    case cmsSigCmykData: return TColourSpace::kCmyk;
    default: return TColourSpace::kOther;
  }
}

bool DescribesDevice(cmsProfileClassSignature device_class) {
  return device_class == cmsSigInputClass || device_class == cmsSigDisplayClass ||
         device_class == cmsSigOutputClass || device_class == cmsSigColorSpaceClass;
}

}  // namespace

TColourSpace IccColourSpace(std::span<const std::uint8_t> profile) {
  if (profile.size() < 20) return TColourSpace::kOther;
  const auto signature = static_cast<cmsColorSpaceSignature>(
      static_cast<std::uint32_t>(profile[16]) << 24 |
      static_cast<std::uint32_t>(profile[17]) << 16 | static_cast<std::uint32_t>(profile[18]) << 8 |
      profile[19]);
  return SpaceOf(signature);
}

int ComponentsOf(TColourSpace space) {
  switch (space) {
    case TColourSpace::kGrey: return 1;
    case TColourSpace::kRgb: return 3;
    case TColourSpace::kCmyk: return 4;
    case TColourSpace::kOther: break;
  }
  return 0;
}

std::string ColourSpaceName(TColourSpace space) {
  switch (space) {
    case TColourSpace::kGrey: return Tr("grey");
    case TColourSpace::kRgb: return "RGB";
    case TColourSpace::kCmyk: return "CMYK";
    case TColourSpace::kOther: break;
  }
  return "?";
}

TIccProfile::TIccProfile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {
  // A profile cut short (its header tells its size) would be read as far as it goes.
  if (bytes_.size() < 128 || bytes_.size() > UINT32_MAX ||
      (std::uint32_t{bytes_[0]} << 24 | std::uint32_t{bytes_[1]} << 16 |
       std::uint32_t{bytes_[2]} << 8 | bytes_[3]) > bytes_.size())
    throw EColourProfile(Tr(kProfileUnreadable));
  handle_ = cmsOpenProfileFromMem(bytes_.data(), static_cast<cmsUInt32Number>(bytes_.size()));
  if (handle_ == nullptr) throw EColourProfile(Tr(kProfileUnreadable));
  space_ = SpaceOf(cmsGetColorSpace(handle_));
  if (space_ == TColourSpace::kOther || !DescribesDevice(cmsGetDeviceClass(handle_))) {
    cmsCloseProfile(handle_);
    throw EColourProfile(Tr(kProfileNoDevice));
  }
  is_srgb_ = IsSrgbProfile(handle_, space_);
}

TIccProfile::~TIccProfile() { cmsCloseProfile(handle_); }

}  // namespace qv
