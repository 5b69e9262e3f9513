// HEIF files put together from coded pictures that another encoder made, for the layouts its
// tools cannot make: a grid of tiles, rotation and mirror properties, an EXIF item, a size claim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::testing {

using TBytes = std::vector<std::uint8_t>;

// One coded picture: an item's type, its property boxes (the decoder configuration and any
// others such as 'pixi' or 'colr', each a whole box; never 'ispe', which the builder writes) and
// its data.
struct THeifCoded {
  std::string item_type;  // "hvc1", "av01"
  std::vector<TBytes> properties;
  std::uint32_t width = 0, height = 0;
  TBytes data;
};

// The primary picture of a HEIF file whose primary item is coded (no grid, no derived item),
// such as heif-enc and avifenc write for one picture. Throws std::runtime_error when the file is
// not of that kind.
THeifCoded ReadCodedPrimary(const TBytes& file);

struct THeifLayout {
  // One tile: a plain picture. Several: a grid of columns x rows of them, row by row, each tile
  // of the same size, the grid width x height (0: columns and rows of whole tiles).
  std::vector<THeifCoded> tiles;
  int columns = 1;
  std::uint32_t width = 0, height = 0;
  // Boxes associated with the primary item after its size, in order (such as 'irot', 'imir').
  std::vector<TBytes> transforms;
  // An EXIF item describing the primary item: TIFF data (the builder adds the offset field).
  TBytes exif;
  // The size the primary item's 'ispe' claims, when not 0 (the truth otherwise).
  std::uint32_t claimed_width = 0, claimed_height = 0;
  // The file's brands: major first.
  std::vector<std::string> brands = {"heic", "mif1", "heic"};
};

// The file: 'ftyp', 'meta' (handler, primary item, item information, locations, references,
// properties and their associations) and 'mdat'.
TBytes BuildHeif(const THeifLayout& layout);

// A rotation property: quarter_turns anticlockwise (0 to 3).
TBytes RotationBox(int quarter_turns);
// A mirror property: 1 exchanges left and right, 0 top and bottom.
TBytes MirrorBox(int mode);

}  // namespace qv::testing
