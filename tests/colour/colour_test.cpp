// Colour profiles: which are sRGB's, which cannot serve, and transforms that give every picture
// format the same colours, built once per drop on any number of threads.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

#include "colour/colour_transforms.h"
#include "colour/picture_colour.h"
#include "imaging/bitmap.h"
#include "support/test_names.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Saved(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  Bytes bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

// An RGB profile of the primaries and white (CIE xy) with sRGB's curve, or a tabulated copy of
// it of points entries (the compact profiles' kind of curve), or a pure gamma.
Bytes RgbProfile(const cmsCIExyYTRIPLE& primaries, double white_x, double white_y, int points = 0,
                 double gamma = 0) {
  const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve =
      gamma > 0 ? cmsBuildGamma(nullptr, gamma) : cmsBuildParametricToneCurve(nullptr, 4, srgb);
  if (points > 0) {
    std::vector<cmsUInt16Number> table(static_cast<std::size_t>(points));
    for (int i = 0; i < points; ++i)
      table[static_cast<std::size_t>(i)] =
          cmsEvalToneCurve16(curve, static_cast<cmsUInt16Number>(65535.0 * i / (points - 1) + 0.5));
    cmsFreeToneCurve(curve);
    curve =
        cmsBuildTabulatedToneCurve16(nullptr, static_cast<cmsUInt32Number>(points), table.data());
  }
  cmsToneCurve* curves[3] = {curve, curve, curve};
  const cmsCIExyY white = {white_x, white_y, 1};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return Saved(profile);
}

constexpr cmsCIExyYTRIPLE kSrgbPrimaries = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
constexpr cmsCIExyYTRIPLE kP3Primaries = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};

Bytes DisplayP3() { return RgbProfile(kP3Primaries, 0.3127, 0.3290); }

// A grey profile of a pure gamma, or of sRGB's curve for gamma 0.
Bytes GreyProfile(double gamma) {
  const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve =
      gamma > 0 ? cmsBuildGamma(nullptr, gamma) : cmsBuildParametricToneCurve(nullptr, 4, srgb);
  Bytes bytes = Saved(cmsCreateGrayProfile(cmsD50_xyY(), curve));
  cmsFreeToneCurve(curve);
  return bytes;
}

Bytes SystemProfile(const std::string& name) {
  std::ifstream in("/usr/share/color/icc/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct TSrgbCase {
  const char* name;
  Bytes (*make)();
  bool srgb;
};

const TSrgbCase kSrgbCases[] = {
    {"littlecms_srgb", [] { return Saved(cmsCreate_sRGBProfile()); }, true},
    // sRGB's curve in 26 points, as the compact "c2" profiles store it.
    {"compact_26_points", [] { return RgbProfile(kSrgbPrimaries, 0.3127, 0.3290, 26); }, true},
    {"colord_srgb", [] { return SystemProfile("colord/sRGB.icc"); }, true},
    {"free_srgb", [] { return SystemProfile("sRGB.icc"); }, true},
    {"ghostscript_srgb", [] { return SystemProfile("ghostscript/srgb.icc"); }, true},
    {"grey_srgb_curve", [] { return GreyProfile(0); }, true},
    // Ghostscript's "sGray" is gamma 1.8 (it makes 53 of a linear grey 107, sRGB's curve 126).
    {"ghostscript_sgray", [] { return SystemProfile("ghostscript/sgray.icc"); }, false},
    // sRGB's primaries with another curve, or another white, are not sRGB.
    {"rec709", [] { return SystemProfile("colord/Rec709.icc"); }, false},
    {"scrgb_linear", [] { return SystemProfile("ghostscript/scrgb.icc"); }, false},
    {"gamma_22", [] { return RgbProfile(kSrgbPrimaries, 0.3127, 0.3290, 0, 2.2); }, false},
    {"white_d50", [] { return RgbProfile(kSrgbPrimaries, 0.3457, 0.3585); }, false},
    {"display_p3", [] { return DisplayP3(); }, false},
    {"adobe_rgb", [] { return SystemProfile("colord/AdobeRGB1998.icc"); }, false},
    {"a98", [] { return SystemProfile("ghostscript/a98.icc"); }, false},
    {"romm", [] { return SystemProfile("ghostscript/rommrgb.icc"); }, false},
    {"swop_cmyk", [] { return SystemProfile("ghostscript/default_cmyk.icc"); }, false},
};

class SrgbProfiles : public ::testing::TestWithParam<TSrgbCase> {};

TEST_P(SrgbProfiles, AreToldByTheirColorantsAndCurves) {
  Bytes bytes = GetParam().make();
  if (bytes.empty()) GTEST_SKIP() << "not installed (scripts/setup.sh installs it)";
  TIccProfile profile(bytes);
  EXPECT_EQ(profile.IsSrgb(), GetParam().srgb);
  EXPECT_EQ(profile.Space(), IccColourSpace(bytes));
}

std::string CaseName(const ::testing::TestParamInfo<TSrgbCase>& param) {
  return testing::NameOf(param.param.name);
}

INSTANTIATE_TEST_SUITE_P(Profiles, SrgbProfiles, ::testing::ValuesIn(kSrgbCases), CaseName);

TEST(ColourProfile, ProfilesThatCannotServeSayWhy) {
  auto reason = [](Bytes bytes) {
    try {
      TIccProfile profile(std::move(bytes));
    } catch (const EColourProfile& error) {
      return error.Message();
    }
    return std::string("read");
  };
  EXPECT_EQ(reason({}), Tr(kProfileUnreadable));
  EXPECT_EQ(reason(Bytes(500, 0x41)), Tr(kProfileUnreadable));
  Bytes cut = DisplayP3();
  cut.resize(cut.size() / 2);
  EXPECT_EQ(reason(cut), Tr(kProfileUnreadable));
  EXPECT_EQ(reason(Saved(cmsCreateLab4Profile(nullptr))), Tr(kProfileNoDevice));
  EXPECT_EQ(IccColourSpace(Bytes(10, 0)), TColourSpace::kOther);

  // A profile of other pixels builds no transform for them.
  TColourTransforms transforms;
  EXPECT_THROW(transforms.ToSrgb(DisplayP3(), TPixelLayout::kCmyk8), EColourProfile);
  EXPECT_THROW(transforms.ToSrgb(Bytes(500, 0x41), TPixelLayout::kBgr8), EColourProfile);
  EXPECT_EQ(transforms.TransformsBuilt(), 0);
}

// A picture of every 6th level of each channel (216 colours).
TBitmap Cube(TPixelFormat format) {
  TBitmap picture;
  if (format == TPixelFormat::pf8bit) {
    picture.Allocate(216, 1, format);
    std::vector<TRGBQuad> palette;
    for (int i = 0; i < 216; ++i) {
      palette.push_back({static_cast<std::uint8_t>(51 * (i % 6)),
                         static_cast<std::uint8_t>(51 * (i / 6 % 6)),
                         static_cast<std::uint8_t>(51 * (i / 36)), 0});
      picture.ScanLine(0)[i] = static_cast<std::uint8_t>(i);
    }
    picture.SetPalette(palette);
    return picture;
  }
  picture.Allocate(216, 1, format);
  const int step = format == TPixelFormat::pf32bit ? 4 : 3;
  for (int i = 0; i < 216; ++i) {
    std::uint8_t* pixel = picture.ScanLine(0) + i * step;
    pixel[0] = static_cast<std::uint8_t>(51 * (i % 6));
    pixel[1] = static_cast<std::uint8_t>(51 * (i / 6 % 6));
    pixel[2] = static_cast<std::uint8_t>(51 * (i / 36));
    if (step == 4) pixel[3] = static_cast<std::uint8_t>(i);
  }
  return picture;
}

TRGBQuad PixelOf(const TBitmap& picture, int x) {
  if (picture.PixelFormat() == TPixelFormat::pf8bit)
    return picture.Palette()[picture.ScanLine(0)[x]];
  const int step = picture.PixelFormat() == TPixelFormat::pf32bit ? 4 : 3;
  const std::uint8_t* p = picture.ScanLine(0) + x * step;
  return {p[0], p[1], p[2], step == 4 ? p[3] : std::uint8_t{0}};
}

TEST(ColourConversion, EveryPixelFormatGetsTheSameColoursAndKeepsWhatIsNotColour) {
  const Bytes p3 = DisplayP3();
  TColourTransforms transforms;
  TBitmap rows = Cube(TPixelFormat::pf24bit);
  TBitmap wide = Cube(TPixelFormat::pf32bit);
  TBitmap palette = Cube(TPixelFormat::pf8bit);
  rows.SetTransparent(true, {0, 255, 0, 0});
  for (TBitmap* picture : {&rows, &wide, &palette}) ConvertToSrgb(*picture, transforms, p3);

  // LittleCMS's own transform of each colour, one at a time, is the reference.
  cmsHPROFILE in = cmsOpenProfileFromMem(p3.data(), static_cast<cmsUInt32Number>(p3.size()));
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHTRANSFORM reference = cmsCreateTransform(in, TYPE_BGR_8, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL,
                                               cmsFLAGS_BLACKPOINTCOMPENSATION);
  int changed = 0;
  for (int i = 0; i < 216; ++i) {
    const TRGBQuad original = PixelOf(Cube(TPixelFormat::pf24bit), i);
    std::uint8_t expected[3];
    cmsDoTransform(reference, &original, expected, 1);
    const TRGBQuad got = PixelOf(rows, i);
    EXPECT_EQ((std::vector<int>{got.blue, got.green, got.red}),
              (std::vector<int>{expected[0], expected[1], expected[2]}))
        << "colour " << i;
    EXPECT_EQ(PixelOf(wide, i),
              (TRGBQuad{got.blue, got.green, got.red, static_cast<std::uint8_t>(i)}));
    EXPECT_EQ(PixelOf(palette, i), got);
    changed += !(got == original);
  }
  EXPECT_GT(changed, 150);  // P3 is not sRGB: nearly every colour moves
  // The palette picture keeps its indexes; the transparent colour moves with the pixels.
  EXPECT_EQ(palette.ScanLine(0)[7], 7);
  std::uint8_t green[3] = {0, 255, 0}, moved[3];
  cmsDoTransform(reference, green, moved, 1);
  EXPECT_EQ(rows.TransparentColor(), (TRGBQuad{moved[0], moved[1], moved[2], 0}));
  cmsDeleteTransform(reference);
  cmsCloseProfile(srgb);
  cmsCloseProfile(in);

  // A grey profile keeps grey pictures grey, in a palette or in colour rows.
  const Bytes gamma_grey = GreyProfile(1.8);
  TBitmap grey;
  grey.Allocate(3, 1, TPixelFormat::pf24bit);
  std::fill_n(grey.ScanLine(0), 9, std::uint8_t{100});
  ConvertToSrgb(grey, transforms, gamma_grey);
  const std::uint8_t* g = grey.ScanLine(0);
  EXPECT_TRUE(std::all_of(g, g + 9, [&](std::uint8_t v) { return v == g[0]; }));
  EXPECT_GT(g[0], 105);  // gamma 1.8 shows 100 brighter than sRGB does
}

TEST(ColourTransforms, EachTransformIsBuiltOncePerDropWhateverTheThreads) {
  TColourTransforms transforms;
  const Bytes p3 = DisplayP3();
  std::vector<std::thread> threads;
  std::vector<const TColourTransform*> seen(8);
  for (std::size_t t = 0; t < seen.size(); ++t)
    threads.emplace_back([&, t] {
      // A copy of the bytes each: the same profile found by its contents.
      for (int i = 0; i < 50; ++i)
        seen[t] = transforms.ToSrgb(Bytes(p3), TPixelLayout::kBgr8).get();
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(transforms.TransformsBuilt(), 1);
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [&](auto* s) { return s == seen[0]; }));
  transforms.ToSrgb(p3, TPixelLayout::kBgra8);
  EXPECT_EQ(transforms.TransformsBuilt(), 2);
  transforms.Clear();
  transforms.ToSrgb(p3, TPixelLayout::kBgr8);
  EXPECT_EQ(transforms.TransformsBuilt(), 1);
}

}  // namespace
}  // namespace qv
