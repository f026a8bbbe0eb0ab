// The inner loop of the blurs: weighted sums of float lines.
#pragma once

#include <cstring>

namespace beam_blur {

typedef float v4sf __attribute__((vector_size(16)));

inline v4sf load4(const float *p) {
  v4sf v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void store4(float *p, v4sf v) { std::memcpy(p, &v, sizeof v); }

// out[x] = w[0] * lines[0][x] + w[1] * lines[1][x] + ... + w[m-1] * lines[m-1][x]
// for x = begin .. end-1: single precision, from 0.0, the terms added in
// that order. Each vector lane is one x and the terms are never regrouped,
// so every lane gets the bytes of the plain loop. The block of 32 lanes
// keeps eight independent sums in registers.
inline void weighted_sum(const float *const *lines, const float *w, int m, int begin, int end,
                         float *out) {
  int x = begin;
  for (; x + 32 <= end; x += 32) {
    v4sf a0 = {}, a1 = {}, a2 = {}, a3 = {}, a4 = {}, a5 = {}, a6 = {}, a7 = {};
    for (int j = 0; j < m; ++j) {
      const float *s = lines[j] + x;
      const v4sf wj = {w[j], w[j], w[j], w[j]};
      a0 += wj * load4(s);
      a1 += wj * load4(s + 4);
      a2 += wj * load4(s + 8);
      a3 += wj * load4(s + 12);
      a4 += wj * load4(s + 16);
      a5 += wj * load4(s + 20);
      a6 += wj * load4(s + 24);
      a7 += wj * load4(s + 28);
    }
    store4(out + x, a0);
    store4(out + x + 4, a1);
    store4(out + x + 8, a2);
    store4(out + x + 12, a3);
    store4(out + x + 16, a4);
    store4(out + x + 20, a5);
    store4(out + x + 24, a6);
    store4(out + x + 28, a7);
  }
  for (; x + 4 <= end; x += 4) {
    v4sf a = {};
    for (int j = 0; j < m; ++j) {
      const v4sf wj = {w[j], w[j], w[j], w[j]};
      a += wj * load4(lines[j] + x);
    }
    store4(out + x, a);
  }
  for (; x < end; ++x) {
    float a = 0.0f;
    for (int j = 0; j < m; ++j) a += w[j] * lines[j][x];
    out[x] = a;
  }
}

// A blurred value as it is stored: truncated toward zero, low 8 bits.
inline unsigned char stored_byte(float acc) { return (unsigned char)(int)acc; }

}  // namespace beam_blur
