// The colour decision of the conversion job.
#include "app/colour_step.h"

#include "colour/colour_transforms.h"
#include "runtime/strings.h"

namespace qv {

namespace {

// True when the carrier holds a profile of space for pixels read in pixel_space.
bool Holds(TProfileCarrier carrier, TColourSpace space, TColourSpace pixel_space) {
  switch (carrier) {
    case TProfileCarrier::kNone: return false;
    case TProfileCarrier::kRgb: return space == TColourSpace::kRgb;
    case TProfileCarrier::kInputJpeg: return space == pixel_space;
  }
  return false;
}

}  // namespace

TProfileMode ProfileModeOf(int choice) {
  switch (choice) {
    case 1: return TProfileMode::kKeep;
    case 2: return TProfileMode::kIgnore;
    default: return TProfileMode::kSrgb;
  }
}

TColourPlan PlanColour(TProfileMode mode, bool carry_metadata, TProfileCarrier carrier,
                       const std::vector<std::uint8_t>& profile, TColourSpace pixel_space,
                       TColourTransforms& transforms) {
  TColourPlan plan;
  if (profile.empty()) return plan;
  if (mode == TProfileMode::kIgnore) {
    // The pixels' numbers as they are, a page's colour space as it always was.
    plan.keep = carry_metadata && carrier != TProfileCarrier::kInputJpeg &&
                Holds(carrier, IccColourSpace(profile), pixel_space);
    return plan;
  }
  TColourSpace space;
  try {
    const auto read = transforms.Profile(profile);
    space = read->Space();
    plan.srgb = read->IsSrgb();
  } catch (const EColourProfile& error) {
    plan.ignored = error.Message();
    return plan;
  }
  if (space != pixel_space) {
    plan.ignored =
        FormatText(Tr(kProfileOtherPixels), {ColourSpaceName(space), ColourSpaceName(pixel_space)});
    plan.srgb = false;
    return plan;
  }
  const bool holds = Holds(carrier, space, pixel_space);
  const bool keep_asked = mode == TProfileMode::kKeep || carry_metadata;
  if (plan.srgb) {
    // Nothing to convert. A page of the input's own bytes names no sRGB profile: its device
    // colours are sRGB's already, and the page stays as it always was.
    plan.keep = keep_asked && holds && carrier != TProfileCarrier::kInputJpeg;
  } else if (carrier == TProfileCarrier::kInputJpeg || (keep_asked && holds)) {
    plan.keep = true;
  } else {
    plan.convert = true;
  }
  return plan;
}

}  // namespace qv
