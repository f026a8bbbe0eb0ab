// stereogram: the module's internal interface. Each output row repeats its
// own row of random dots with a period that shrinks where the scene is near.
#pragma once

#include <cstdlib>

namespace stereogram_impl {

// The table's limits. Slot values beyond them are brought inside, so that
// no separation exceeds the pattern width and no work grows without bound.
constexpr int kMaxPatternWidth = 1024;
// The largest side an image record can describe.
constexpr int kMaxSide = 32767;

// The parameters as the rows are drawn with them, brought into the table's
// ranges.
struct Settings {
  int pattern_width;  // P, 0..1024
  float low, high;    // divergence factors, 0.5..1
  bool fast, interpolate, show_zbuf;
};

// The generator's values taken as 0..32767, whatever the library's range.
inline int rand15() { return std::rand() % 32768; }

// One row of P dots; next() draws the following row: red, green, blue of
// each dot from successive draws reduced to 0..254, alpha 0.
class DotRow {
 public:
  DotRow(unsigned char *dots, int p) : dots_(dots), p_(p) {}
  void next() {
    for (int i = 0; i < p_; ++i) {
      unsigned char *d = dots_ + 4 * i;
      d[0] = (unsigned char)(rand15() % 255);
      d[1] = (unsigned char)(rand15() % 255);
      d[2] = (unsigned char)(rand15() % 255);
      d[3] = 0;
    }
  }
  const unsigned char *dot(long i) const { return dots_ + 4 * i; }

 private:
  unsigned char *dots_;
  int p_;
};

// Draws the pattern of `rows` rows of P dots and forgets it: the generator
// moves on as if a picture had been made.
void skip_rows(int p, int rows);

// Fills the first `limit` pixels of the width x height picture `out` from
// the depths z, drawing one dot row per picture row (all `height` rows are
// drawn, also those past the limit). False when scratch memory is short.
bool DoStereogram(const int *z, unsigned char *out, int width, int height, long limit,
                  const Settings &s);

}  // namespace stereogram_impl
