// The inner loop of the separable blurs: weighted sums of float lines.
#pragma once

#include <cstring>

#include "clamps.h"

namespace seqfx_common {

typedef float v4sf __attribute__((vector_size(16)));

// Reads a vector from any float address (lines are not aligned).
template <typename V>
inline __attribute__((always_inline)) void load(V &v, const float *p) {
  std::memcpy(&v, p, sizeof v);
}

// out[x] = w[0] * lines[0][x] + w[1] * lines[1][x] + ... + w[m-1] * lines[m-1][x]
// for x = begin .. end-1: single precision, from 0.0, the terms added in
// that order. Each vector lane is one x and the terms are never regrouped,
// so every lane gets the bytes of the plain loop.
// A block of eight vectors keeps eight independent sums in registers.
template <typename V>
inline __attribute__((always_inline)) void weighted_sum_lanes(const float *const *lines,
                                                              const float *w, int m, int begin,
                                                              int end, float *out) {
  constexpr int L = (int)(sizeof(V) / sizeof(float));
  int x = begin;
  for (; x + 8 * L <= end; x += 8 * L) {
    V a0 = {}, a1 = {}, a2 = {}, a3 = {}, a4 = {}, a5 = {}, a6 = {}, a7 = {};
    for (int j = 0; j < m; ++j) {
      const float *s = lines[j] + x;
      const float wj = w[j];
      V t0, t1, t2, t3, t4, t5, t6, t7;
      load(t0, s);
      load(t1, s + L);
      load(t2, s + 2 * L);
      load(t3, s + 3 * L);
      load(t4, s + 4 * L);
      load(t5, s + 5 * L);
      load(t6, s + 6 * L);
      load(t7, s + 7 * L);
      a0 += t0 * wj;
      a1 += t1 * wj;
      a2 += t2 * wj;
      a3 += t3 * wj;
      a4 += t4 * wj;
      a5 += t5 * wj;
      a6 += t6 * wj;
      a7 += t7 * wj;
    }
    const V a[8] = {a0, a1, a2, a3, a4, a5, a6, a7};
    std::memcpy(out + x, a, sizeof a);
  }
  for (; x + L <= end; x += L) {
    V a = {};
    for (int j = 0; j < m; ++j) {
      V t;
      load(t, lines[j] + x);
      a += t * w[j];
    }
    std::memcpy(out + x, &a, sizeof a);
  }
  for (; x < end; ++x) {
    float a = 0.0f;
    for (int j = 0; j < m; ++j) a += w[j] * lines[j][x];
    out[x] = a;
  }
}

inline void weighted_sum(const float *const *lines, const float *w, int m, int begin, int end,
                         float *out) {
  weighted_sum_lanes<v4sf>(lines, w, m, begin, end, out);
}

// A blurred value as it is stored: truncated toward zero, low 8 bits (0 for
// a sum no int can hold, which only weights from sizes far outside any
// table can give).
inline unsigned char stored_byte(float acc) { return low_byte(acc); }

}  // namespace seqfx_common
