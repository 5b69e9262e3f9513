// A transform of pixels tagged with an ICC profile to sRGB, built once through LittleCMS and then
// run on any number of rows, on any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qv {

class TIccProfile;

// How the pixels a transform takes lie in memory.
enum class TPixelLayout {
  kBgr8,           // blue, green, red bytes (the Raster image's 24-bit rows)
  kBgra8,          // blue, green, red and a fourth byte that is left as it is (32-bit rows,
                   // palette entries)
  kGrey8,          // one grey byte
  kCmyk8,          // cyan, magenta, yellow, black bytes, 255 for full ink
  kCmyk8Inverted,  // the same stored inverted, 0 for full ink (Adobe's CMYK JPEGs)
  kRgb16,          // red, green, blue, 16-bit big-endian (PNG's 16-bit rows)
  kRgba16,         // the same followed by a 16-bit alpha sample, which is skipped
};
inline constexpr std::size_t kPixelLayoutCount = 7;

// Bytes of one pixel in the layout.
std::size_t PixelBytes(TPixelLayout layout);

class TColourTransform {
 public:
  // The transform from pixels in layout, tagged with profile, to sRGB: perceptual intent with
  // black-point compensation, 8-bit precision for 8-bit layouts and 16-bit for 16-bit ones. Its
  // output is one grey byte with sRGB's tone curve for kGrey8 (a grey picture stays grey),
  // blue, green, red and the untouched fourth byte for kBgra8, and blue, green, red bytes for
  // every other layout. Throws EColourProfile (kProfileOtherPixels) when the profile is not of
  // the layout's colour space, (kProfileNoTransform) when LittleCMS cannot build it.
  TColourTransform(const TIccProfile& profile, TPixelLayout layout);
  ~TColourTransform();
  TColourTransform(const TColourTransform&) = delete;
  TColourTransform& operator=(const TColourTransform&) = delete;

  TPixelLayout Layout() const { return layout_; }
  // Transforms count pixels from in to out. in and out may be the same buffer when a pixel
  // takes as many bytes in as out (kBgr8, kBgra8, kGrey8). Safe on several threads at once.
  void Apply(const void* in, void* out, std::size_t count) const noexcept;

 private:
  TPixelLayout layout_;
  void* transform_ = nullptr;             // cmsHTRANSFORM; none for kGrey8
  std::array<std::uint8_t, 256> grey_{};  // kGrey8: the output of every input level
};

}  // namespace qv
