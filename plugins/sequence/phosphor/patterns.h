// The nine phosphor-mask patterns: small grids of channel numbers
// (0 red, 1 green, 2 blue) repeated over the frame.
#pragma once

namespace phosphor {

constexpr int kPatterns = 9;
constexpr int kMaxCells = 108;

struct Pattern {
  const char *name;
  int width, height;
  // width x height digits, row-major: line 0 first, column 0 first.
  const char *cells;
  int channel(int line, int column) const { return cells[line * width + column] - '0'; }
};

extern const Pattern patterns[kPatterns];

}  // namespace phosphor
