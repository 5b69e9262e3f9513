// Turns and mirror images that a file states, as the EXIF orientation asking for the same turn.
#pragma once

#include <array>

namespace spi_plugin {

// A turn or mirror image as a 2 x 2 matrix on (x, y), y pointing down; the identity is as stored.
using TTurn = std::array<int, 4>;
inline constexpr TTurn kAsStored = {1, 0, 0, 1};

// first, then second.
inline TTurn Then(const TTurn &first, const TTurn &second) {
  const TTurn &a = second, &b = first;
  return {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
          a[2] * b[1] + a[3] * b[3]};
}

// quarter_turns (0 to 3) a quarter anticlockwise each, as HEIF's rotation property counts them.
inline TTurn Anticlockwise(int quarter_turns) {
  TTurn turn = kAsStored;
  for (int q = 0; q < (quarter_turns & 3); ++q) turn = Then(turn, TTurn{0, 1, -1, 0});
  return turn;
}

// A mirror image: left and right exchanged, or top and bottom.
inline TTurn Mirrored(bool left_right) {
  return left_right ? TTurn{-1, 0, 0, 1} : TTurn{1, 0, 0, -1};
}

// The EXIF orientation (1 to 8) whose turn, the one that shows the stored picture upright, is
// turn.
inline int ExifOrientationOf(const TTurn &turn) {
  static constexpr TTurn kTurns[8] = {
      {1, 0, 0, 1},    // 1 as stored
      {-1, 0, 0, 1},   // 2 mirrored left-right
      {-1, 0, 0, -1},  // 3 half a turn
      {1, 0, 0, -1},   // 4 mirrored top-bottom
      {0, 1, 1, 0},    // 5 transposed
      {0, -1, 1, 0},   // 6 a quarter clockwise
      {0, -1, -1, 0},  // 7 transversed
      {0, 1, -1, 0},   // 8 a quarter anticlockwise
  };
  for (int i = 0; i < 8; ++i)
    if (kTurns[i] == turn) return i + 1;
  return 1;
}

}  // namespace spi_plugin
