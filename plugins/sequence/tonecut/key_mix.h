// Keying a run of pixels whose Y, U and V planes are known: each pixel's
// key weight k from its closeness to the key colour, then each of its four
// bytes mixed as background k + foreground (1 - k) in single precision.
#pragma once

#include "lane_path.h"

#include <cmath>

namespace tonecut {

// The key settings, read once per frame.
struct Key {
  bool y_on, u_on, v_on;
  float y, u, v, tol_y, tol_u, tol_v, blend;
};

// The key weight k of one pixel. A pixel that is no candidate gets k = 0,
// which mixes back its own bytes exactly. m = 0 also gives k = 0 with
// Blend 0, where m / Blend would be 0 / 0.
inline float key_weight(const Key &key, float y, float u, float v) {
  float sum = 0.0f;
  int count = 0;
  if (key.y_on) {
    const float d = std::fabs(y - key.y);
    if (d <= key.tol_y) sum += 1.0f - d / key.tol_y, ++count;
  }
  if (key.u_on) {
    const float d = std::fabs(u - key.u);
    if (d <= key.tol_u) sum += 1.0f - d / key.tol_u, ++count;
  }
  if (key.v_on) {
    const float d = std::fabs(v - key.v);
    if (d <= key.tol_v) sum += 1.0f - d / key.tol_v, ++count;
  }
  if (count == 0) return 0.0f;
  const float m = sum / count;
  return m > key.blend ? 1.0f : (m == 0.0f ? 0.0f : m / key.blend);
}

// Keys n pixels of fg over bg into dst (which may be fg or bg). y, u and
// v point to n values each; u and v are read only where their channels
// are on. A pixel that is no candidate keeps its foreground bytes.
void key_run(LanePath path, const Key &key, const float *y, const float *u, const float *v,
             const unsigned char *fg, const unsigned char *bg, unsigned char *dst, long n);

}  // namespace tonecut
