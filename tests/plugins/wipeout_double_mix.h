// The mix wipeout's byte rule stands for, in floating point: the matte as
// a float fraction of 255, the strips weighted in double precision and
// truncated. The tests hold the integer rule and the module to it.
#pragma once

namespace wipeout_test {

inline int double_mix(int a, int b, int v) {
  const float m = (float)v / 255.0f;
  return (int)((double)a * m + (double)b * (1.0 - (double)m));
}

}  // namespace wipeout_test
