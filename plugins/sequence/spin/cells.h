// spin: which source pixel a straight source point falls in, decided only
// where the polar mapping is certain to agree.
#pragma once

namespace spin {

// Codes of locate_whole besides a pixel index.
constexpr int kInDoubt = -1, kOutsideColour = -2;

// The pixel index along one axis of a point that lies strictly inside the
// unit square [k, k + 1), or -1 when that is not certain: the point lies
// within margin of an edge or is not a number. frac receives the point's
// distance from that pixel: 0 for a point the clamp moves onto the border.
inline int cell(double v, double margin, int size, bool &outside, double &frac) {
  frac = 0;
  // Far points are outside whichever side of an edge they fall (the
  // margin is below a quarter pixel).
  if (!(v > -1e9 && v < 1e9)) {
    if (!(v == v)) return -1;
    outside = true;
    return v < 0 ? 0 : size - 1;
  }
  int k = (int)v;  // toward zero, then down for negative fractions
  if (v < k) --k;
  const double fr = v - k;
  if (!(fr > margin && fr < 1.0 - margin)) return -1;
  // The whole open square is inside 0 .. size - 1 only for k = 0 .. size - 2.
  if (k < 0) {
    outside = true;
    return 0;
  }
  if (k > size - 2) {
    outside = true;
    return size - 1;
  }
  frac = fr;
  return k;
}

// For each of n points (sx[i], sy[i]) of a frame sampled whole: the index
// row * width + column of the source pixel it takes after the outside test
// and the clamp, kOutsideColour for a point outside when solid is set, or
// kInDoubt when cell cannot decide an axis.
void locate_whole(const double *sx, const double *sy, int n, double margin, int width,
                  int height, bool solid, int *code);

}  // namespace spin
