// The inner loop of the separable blurs: weighted sums of float lines.
#pragma once

#include <cstring>

#include "clamps.h"

namespace seqfx_common {

typedef float v4sf __attribute__((vector_size(16)));
typedef float v8sf __attribute__((vector_size(32)));
typedef float v16sf __attribute__((vector_size(64)));

// Reads a vector from any float address (lines are not aligned).
template <typename V>
inline __attribute__((always_inline)) void load(V &v, const float *p) {
  std::memcpy(&v, p, sizeof v);
}

// out[x] = w[0] * lines[0][x] + w[1] * lines[1][x] + ... + w[m-1] * lines[m-1][x]
// for x = begin .. end-1: single precision, from 0.0, the terms added in
// that order. Each vector lane is one x and the terms are never regrouped
// (no fused multiply-add either), so every lane gets the bytes of the plain
// loop, whatever the width of the vectors.
//
// Groups of G vectors keep G independent sums in registers, so that the
// additions of one tap do not wait for each other. Returns where it stopped:
// the first x for which a whole group no longer fits.
template <typename V, int G>
inline __attribute__((always_inline)) int weighted_sum_groups(const float *const *lines,
                                                              const float *w, int m, int x,
                                                              int end, float *out) {
  constexpr int L = (int)(sizeof(V) / sizeof(float));
  for (; x + G * L <= end; x += G * L) {
    V a[G];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) a[g] = V{};
    for (int j = 0; j < m; ++j) {
      const float *s = lines[j] + x;
      const float wj = w[j];
#pragma GCC unroll 8
      for (int g = 0; g < G; ++g) {
        V t;
        load(t, s + g * L);
        a[g] += t * wj;
      }
    }
    std::memcpy(out + x, a, sizeof a);
  }
  return x;
}

inline __attribute__((always_inline)) void weighted_sum_tail(const float *const *lines,
                                                             const float *w, int m, int x,
                                                             int end, float *out) {
  x = weighted_sum_groups<v4sf, 1>(lines, w, m, x, end, out);
  for (; x < end; ++x) {
    float a = 0.0f;
    for (int j = 0; j < m; ++j) a += w[j] * lines[j][x];
    out[x] = a;
  }
}

// The same sums with vectors of 4, 8 or 16 floats. The wider forms are
// compiled for the processors that have them and chosen at run time; the
// 4-float form needs no more than the base instruction set.
inline void weighted_sum_4(const float *const *lines, const float *w, int m, int begin, int end,
                           float *out) {
  int x = weighted_sum_groups<v4sf, 8>(lines, w, m, begin, end, out);
  weighted_sum_tail(lines, w, m, x, end, out);
}

__attribute__((target("avx2"))) inline void weighted_sum_8(const float *const *lines,
                                                            const float *w, int m, int begin,
                                                            int end, float *out) {
  int x = weighted_sum_groups<v8sf, 8>(lines, w, m, begin, end, out);
  x = weighted_sum_groups<v8sf, 2>(lines, w, m, x, end, out);
  weighted_sum_tail(lines, w, m, x, end, out);
}

__attribute__((target("avx512f"))) inline void weighted_sum_16(const float *const *lines,
                                                                const float *w, int m,
                                                                int begin, int end, float *out) {
  int x = weighted_sum_groups<v16sf, 8>(lines, w, m, begin, end, out);
  x = weighted_sum_groups<v16sf, 2>(lines, w, m, x, end, out);
  x = weighted_sum_groups<v8sf, 1>(lines, w, m, x, end, out);
  weighted_sum_tail(lines, w, m, x, end, out);
}

// The widest vectors this processor offers: 16, 8 or 4 floats.
inline int widest_lanes() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return 16;
  if (__builtin_cpu_supports("avx2")) return 8;
  return 4;
}

inline void weighted_sum(const float *const *lines, const float *w, int m, int begin, int end,
                         float *out) {
  static const int lanes = widest_lanes();
  if (lanes == 16)
    weighted_sum_16(lines, w, m, begin, end, out);
  else if (lanes == 8)
    weighted_sum_8(lines, w, m, begin, end, out);
  else
    weighted_sum_4(lines, w, m, begin, end, out);
}

// A blurred value as it is stored: truncated toward zero, low 8 bits (0 for
// a sum no int can hold, which only weights from sizes far outside any
// table can give).
inline unsigned char stored_byte(float acc) { return low_byte(acc); }

}  // namespace seqfx_common
