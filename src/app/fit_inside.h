// The size of a picture scaled to fit inside a box with its aspect ratio kept.
#pragma once

#include <utility>

namespace qv {

// The size width x height takes when scaled to fit inside box_width x box_height with its aspect
// ratio kept: the side that is relatively longer meets the box exactly and the other is rounded
// to the nearest pixel (halves up), at least 1. A picture already inside the box keeps its size:
// it is never enlarged. All sizes are at least 1.
std::pair<int, int> FitInside(int width, int height, int box_width, int box_height);

}  // namespace qv
