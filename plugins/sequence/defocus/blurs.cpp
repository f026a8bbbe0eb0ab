#include "blurs.h"
#include "lanes.h"

#include <cmath>
#include <cstdio>

namespace dof {

void row_done(int y, int height) {
  progress(y, height);
  std::fflush(nullptr);
}

void zgamma(Img *img, const Img *back, float gamma) {
  // The new byte depends only on the mask value and the old byte.
  static unsigned char lut[256][256];
  for (int b = 0; b < 256; ++b) {
    const float p = (float)(1.0 - (double)((1.0f - gamma) * (float)b) / 255.0);
    for (int v = 0; v < 256; ++v) {
      const double nv = 255.0 * std::pow((double)v / 255.0, (double)p);
      // A gamma that is not a number gives 0, not an undefined conversion.
      lut[b][v] = nv >= 255.0 ? 255 : (nv >= 0.0 ? (unsigned char)(int)nv : 0);
    }
  }
  unsigned char *d = img->data;
  const unsigned char *B = back->data;
  for (int i = 0; i < img->count; ++i, d += 3) {
    const unsigned char *row = lut[B[i]];
    d[0] = row[d[0]];
    d[1] = row[d[1]];
    d[2] = row[d[2]];
  }
}

}  // namespace dof
