// Turning and flipping a picture upright by the EXIF orientation its camera recorded.
#pragma once

namespace qv {

class TBitmap;

// True for the orientations that change the picture (2 to 8); 1 and anything else mean none.
bool TurnsPicture(int orientation);
// True for the orientations that swap width and height (5 to 8).
bool SwapsSides(int orientation);

// The clockwise turn in degrees (0, 90, 180 or 270) that shows a picture stored with the
// orientation upright, or -1 when that takes a mirror image (2, 4, 5 and 7). 1 and values outside
// 1 to 8 give 0.
int UprightRotation(int orientation);

// Turns and flips image so that a picture stored with the EXIF orientation (1 to 8) stands
// upright: 2 mirrors left-right, 3 turns half way, 4 mirrors top-bottom, 5 transposes, 6 turns a
// quarter clockwise, 7 transverses, 8 turns a quarter anticlockwise. Other values change
// nothing. The 8-, 24- and 32-bit formats and the palette stay; others become 24 bits.
void OrientUpright(TBitmap& image, int orientation);

}  // namespace qv
