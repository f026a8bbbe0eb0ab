// Weighted sums of several output lines at once, for the vertical passes of
// the separable blurs.
#pragma once

#include "weighted_sum.h"

namespace seqfx_common {

// For s = 0 .. R-1 and x = begin .. end-1:
//   out[s][x] = w[0] * rows[s][x] + w[1] * rows[s + 1][x] + ... + w[m-1] * rows[s + m - 1][x]
// each the sum weighted_sum gives for its own m lines (from 0.0, the terms
// added in order j = 0 .. m-1, no fused multiply-add).
//
// R neighbouring output lines share all but R-1 of their m input lines. The
// input lines are walked once, in increasing order, and every vector loaded
// is added into each of the R sums it belongs to: one load feeds R sums
// instead of one, which keeps a window far larger than the first-level
// cache from being read R times over. Each sum still receives its terms in
// its own order, so the bytes are those of R separate weighted sums.
// Needs m >= R.
template <typename V, int G, int R>
inline __attribute__((always_inline)) int row_sums_groups(const float *const *rows, const float *w,
                                                          int m, int x, int end,
                                                          float *const *out) {
  constexpr int L = (int)(sizeof(V) / sizeof(float));
  for (; x + G * L <= end; x += G * L) {
    V a[R][G];
#pragma GCC unroll 16
    for (int s = 0; s < R; ++s)
#pragma GCC unroll 8
      for (int g = 0; g < G; ++g) a[s][g] = V{};
    // Line i is term i - s of sum s, for the s with 0 <= i - s < m.
    auto step = [&](int i, int s_lo, int s_hi) __attribute__((always_inline)) {
      V t[G];
#pragma GCC unroll 8
      for (int g = 0; g < G; ++g) load(t[g], rows[i] + x + g * L);
#pragma GCC unroll 16
      for (int s = 0; s < R; ++s) {
        if (s < s_lo || s > s_hi) continue;
        const float ws = w[i - s];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) a[s][g] += t[g] * ws;
      }
    };
#pragma GCC unroll 16
    for (int i = 0; i < R - 1; ++i) step(i, 0, i);  // the first lines start the later sums
    for (int i = R - 1; i < m; ++i) step(i, 0, R - 1);
#pragma GCC unroll 16
    for (int c = 0; c < R - 1; ++c) step(m + c, c + 1, R - 1);  // the last lines end them
#pragma GCC unroll 16
    for (int s = 0; s < R; ++s) std::memcpy(out[s] + x, a[s], sizeof a[s]);
  }
  return x;
}

// The lines a whole group no longer fits, one output line at a time.
inline __attribute__((always_inline)) void row_sums_tail(const float *const *rows, const float *w,
                                                         int m, int R, int x, int end,
                                                         float *const *out) {
  for (int s = 0; s < R; ++s) weighted_sum_tail(rows + s, w, m, x, end, out[s]);
}

constexpr int kRowSums = 4;  // output lines summed together

inline void row_sums_4(const float *const *rows, const float *w, int m, int begin, int end,
                       float *const *out) {
  int x = row_sums_groups<v4sf, 2, kRowSums>(rows, w, m, begin, end, out);
  row_sums_tail(rows, w, m, kRowSums, x, end, out);
}

__attribute__((target("avx2"))) inline void row_sums_8(const float *const *rows, const float *w,
                                                        int m, int begin, int end,
                                                        float *const *out) {
  int x = row_sums_groups<v8sf, 2, kRowSums>(rows, w, m, begin, end, out);
  x = row_sums_groups<v8sf, 1, kRowSums>(rows, w, m, x, end, out);
  row_sums_tail(rows, w, m, kRowSums, x, end, out);
}

__attribute__((target("avx512f"))) inline void row_sums_16(const float *const *rows,
                                                            const float *w, int m, int begin,
                                                            int end, float *const *out) {
  int x = row_sums_groups<v16sf, 2, kRowSums>(rows, w, m, begin, end, out);
  x = row_sums_groups<v16sf, 1, kRowSums>(rows, w, m, x, end, out);
  x = row_sums_groups<v8sf, 1, kRowSums>(rows, w, m, x, end, out);
  row_sums_tail(rows, w, m, kRowSums, x, end, out);
}

// kRowSums output lines over [begin, end): rows holds m + kRowSums - 1
// line pointers. With fewer than kRowSums terms the lines are summed one
// by one.
inline void row_sums(const float *const *rows, const float *w, int m, int begin, int end,
                     float *const *out) {
  if (m < kRowSums) {
    for (int s = 0; s < kRowSums; ++s) weighted_sum(rows + s, w, m, begin, end, out[s]);
    return;
  }
  static const int lanes = widest_lanes();
  if (lanes == 16)
    row_sums_16(rows, w, m, begin, end, out);
  else if (lanes == 8)
    row_sums_8(rows, w, m, begin, end, out);
  else
    row_sums_4(rows, w, m, begin, end, out);
}

}  // namespace seqfx_common
