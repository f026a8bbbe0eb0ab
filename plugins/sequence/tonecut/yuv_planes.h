// The Y, U and V planes of a run of pixels in tonecut's own YUV space.
//
// R, G and B are byte / 255 as a double quotient stored as float. Y is the
// double sum 0.299 R + 0.587 G + 0.114 B (in that order) stored as float;
// U and V scale the single-precision differences B - Y and R - Y in double
// and store the results as floats:
//   U = (B - Y) * 0.492 * 255 / 244 + 0.5,  V = (R - Y) * 0.877 * 255 / 314 + 0.5.
#pragma once

#include "lane_path.h"

namespace tonecut {

// Lookup tables for one pixel at a time, and that pixel's Y, U and V with
// the divisions written as above.
struct YuvTables {
  float unit[256];
  double wr[256], wg[256], wb[256];
  YuvTables();
  float luma(const unsigned char *px) const { return (float)(wr[px[0]] + wg[px[1]] + wb[px[2]]); }
};
const YuvTables &yuv_tables();

inline float chroma_u(float b, float y) {
  const float by = b - y;
  return (float)(by * 0.492 * 255 / (2 * 122) + 0.5);
}
inline float chroma_v(float r, float y) {
  const float ry = r - y;
  return (float)(ry * 0.877 * 255 / (2 * 157) + 0.5);
}

// Fills y[0..n), and u and v unless they are null, from n pixels of 4
// bytes (the fourth is not read), by the best available path.
void yuv_planes(const unsigned char *px, long n, float *y, float *u, float *v);
// The same by a given path, which must be available.
void yuv_planes(LanePath path, const unsigned char *px, long n, float *y, float *u, float *v);

}  // namespace tonecut
