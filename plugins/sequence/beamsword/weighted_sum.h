// The inner loop of the blurs: weighted sums of float lines.
#pragma once

#include <cstring>

namespace beam_blur {

typedef float v4sf __attribute__((vector_size(16)));
typedef float v8sf __attribute__((vector_size(32)));
// The same vectors read from any float address.
typedef float v4sf_u __attribute__((vector_size(16), aligned(4), may_alias));
typedef float v8sf_u __attribute__((vector_size(32), aligned(4), may_alias));

// out[x] = w[0] * lines[0][x] + w[1] * lines[1][x] + ... + w[m-1] * lines[m-1][x]
// for x = begin .. end-1: single precision, from 0.0, the terms added in
// that order. Each vector lane is one x and the terms are never regrouped,
// so every lane gets the bytes of the plain loop whatever the vector width.
// A block of eight vectors keeps eight independent sums in registers.
template <typename V, typename U>
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
      a0 += *(const U *)(s) * wj;
      a1 += *(const U *)(s + L) * wj;
      a2 += *(const U *)(s + 2 * L) * wj;
      a3 += *(const U *)(s + 3 * L) * wj;
      a4 += *(const U *)(s + 4 * L) * wj;
      a5 += *(const U *)(s + 5 * L) * wj;
      a6 += *(const U *)(s + 6 * L) * wj;
      a7 += *(const U *)(s + 7 * L) * wj;
    }
    const V a[8] = {a0, a1, a2, a3, a4, a5, a6, a7};
    std::memcpy(out + x, a, sizeof a);
  }
  for (; x + L <= end; x += L) {
    V a = {};
    for (int j = 0; j < m; ++j) a += *(const U *)(lines[j] + x) * w[j];
    std::memcpy(out + x, &a, sizeof a);
  }
  for (; x < end; ++x) {
    float a = 0.0f;
    for (int j = 0; j < m; ++j) a += w[j] * lines[j][x];
    out[x] = a;
  }
}

__attribute__((target("avx2"))) inline void weighted_sum_avx2(const float *const *lines,
                                                              const float *w, int m, int begin,
                                                              int end, float *out) {
  weighted_sum_lanes<v8sf, v8sf_u>(lines, w, m, begin, end, out);
}

inline void weighted_sum_sse(const float *const *lines, const float *w, int m, int begin, int end,
                             float *out) {
  weighted_sum_lanes<v4sf, v4sf_u>(lines, w, m, begin, end, out);
}

// Uses the wider vectors where the processor has them.
inline void weighted_sum(const float *const *lines, const float *w, int m, int begin, int end,
                         float *out) {
  static const bool wide = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  if (wide)
    weighted_sum_avx2(lines, w, m, begin, end, out);
  else
    weighted_sum_sse(lines, w, m, begin, end, out);
}

// A blurred value as it is stored: truncated toward zero, low 8 bits.
inline unsigned char stored_byte(float acc) { return (unsigned char)(int)acc; }

}  // namespace beam_blur
