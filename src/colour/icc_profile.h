// An ICC colour profile read through LittleCMS: the colour space of the pixels it describes and
// whether those pixels are sRGB's already.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/translation.h"

namespace qv {

// A profile that cannot serve a picture: unreadable, or of no device whose pixels we hold. The
// message says why; the job shows it as a warning and treats the picture as untagged.
class EColourProfile : public Exception {
 public:
  using Exception::Exception;
};

// The reasons, as EColourProfile carries them.
inline constexpr char kProfileUnreadable[] = N_("the profile cannot be read");
inline constexpr char kProfileNoDevice[] = N_("the profile describes no grey, RGB or CMYK pixels");
// TRANSLATORS: the profile's colour space, then the picture's ("CMYK", "RGB", "grey").
inline constexpr char kProfileOtherPixels[] =
    N_("the profile is for %s pixels, the picture's are %s");
inline constexpr char kProfileNoTransform[] = N_("no transform to sRGB can be built from it");

// The colour spaces of the pixels a picture or a profile holds.
enum class TColourSpace { kOther, kGrey, kRgb, kCmyk };

// The colour space an ICC profile's header names (its bytes 16 to 19), read without LittleCMS;
// kOther for bytes too short to be a profile header or another space.
TColourSpace IccColourSpace(std::span<const std::uint8_t> profile);

// Components of a pixel in the space: 1, 3 or 4 (0 for kOther).
int ComponentsOf(TColourSpace space);

// The space's name in messages ("grey", "RGB", "CMYK").
std::string ColourSpaceName(TColourSpace space);

class TIccProfile {
 public:
  // Reads the profile. Throws EColourProfile (kProfileUnreadable, kProfileNoDevice) when
  // LittleCMS cannot read it or it describes no grey, RGB or CMYK device (an abstract, link,
  // named-colour or Lab profile).
  explicit TIccProfile(std::vector<std::uint8_t> bytes);
  ~TIccProfile();
  TIccProfile(const TIccProfile&) = delete;
  TIccProfile& operator=(const TIccProfile&) = delete;

  TColourSpace Space() const { return space_; }
  // An RGB profile whose colorants and tone curves are sRGB's (IEC 61966-2.1, sRGB2014, the
  // compact "c2" profiles, LittleCMS's own), or a grey profile with sRGB's tone curve: pictures
  // tagged with it need no transform.
  bool IsSrgb() const { return is_srgb_; }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  // LittleCMS's handle (cmsHPROFILE). Not safe to use on two threads at once.
  void* Handle() const { return handle_; }

 private:
  std::vector<std::uint8_t> bytes_;
  void* handle_ = nullptr;
  TColourSpace space_ = TColourSpace::kOther;
  bool is_srgb_ = false;
};

}  // namespace qv
