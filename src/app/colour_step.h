// What the conversion job does with a picture's colour profile: convert its pixels to sRGB, let
// the output carry the profile, or neither.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "colour/icc_profile.h"
#include "runtime/translation.h"

namespace qv {

class TColourTransforms;

// How the ColorProfile setting treats profiles (its item index).
enum class TProfileMode {
  kSrgb,    // convert to sRGB unless the output carries the profile
  kKeep,    // carry the profile into outputs that can hold it, convert for the others
  kIgnore,  // neither: the numbers stay, the profile is dropped
};
// The mode of an item index (-1 and unknown indexes: the default, kSrgb).
TProfileMode ProfileModeOf(int choice);

// What an output can carry: nothing (BMP), a profile of RGB pixels (JPEG, PNG and a PDF page
// compressed anew, which names it as its colour space), or a profile of the input JPEG's own
// components (a PDF page embedding the input's bytes unchanged).
enum class TProfileCarrier { kNone, kRgb, kInputJpeg };

// The decision for one picture.
struct TColourPlan {
  bool convert = false;  // its pixels are to be converted to sRGB
  bool keep = false;     // the output carries the profile, the pixels unchanged
  bool srgb = false;     // the profile is sRGB's: the pixels need nothing
  std::string ignored;   // the profile was ignored, and why (for the warning)
};

// The warning about an ignored profile, with the reason.
// TRANSLATORS: the reason the colour profile was not used.
inline constexpr char kProfileIgnoredWarning[] = N_("colour profile ignored: %s");

// Decides for a picture read as pixels of pixel_space, tagged with profile (empty: untagged),
// going to an output that can carry what carrier says. carry_metadata (KeepMetadata) asks for
// the profile in the output as kKeep does, in any mode. Untagged pictures, and in kIgnore mode
// every picture, need nothing: with carry_metadata an ignored profile still travels where it
// describes the written pixels. A profile LittleCMS cannot read, or not of pixel_space, is
// ignored (ignored says why). An sRGB profile is never converted; another one is kept where the
// mode asks for it and the carrier holds its space, and converted otherwise (a page that embeds
// the input unchanged names it instead, as its pixels cannot change).
TColourPlan PlanColour(TProfileMode mode, bool carry_metadata, TProfileCarrier carrier,
                       const std::vector<std::uint8_t>& profile, TColourSpace pixel_space,
                       TColourTransforms& transforms);

}  // namespace qv
