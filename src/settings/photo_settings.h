// The photo options: settings added to the dialog's third page, each off by default and stored
// only once it has left its default, so a file of default settings keeps its old contents.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qv {

// Limits of a custom target size, in pixels per side.
inline constexpr int kCustomSizeMin = 1;
inline constexpr int kCustomSizeMax = 65535;

// The photo options' keys with their design-time values as stored text, in walk order.
inline std::vector<std::pair<std::string, std::string>> PhotoSettingDefaults() {
  return {
      {"AutoOrient", "0"},    // turn JPEG photos upright by their EXIF orientation
      {"KeepMetadata", "0"},  // carry a JPEG's EXIF block and ICC profile into JPEG and PNG
      {"KeepAspect", "0"},    // fit inside the target size, keeping the shape, never enlarge
      {"CustomSize", "0"},    // CustomWidth x CustomHeight instead of TargetRes
      {"CustomWidth", "1024"}, {"CustomHeight", "768"},
  };
}

}  // namespace qv
