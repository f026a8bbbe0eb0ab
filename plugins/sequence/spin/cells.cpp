// spin: the source pixels of whole-pixel sampling, four points at a time
// where the processor has the wide vectors, one at a time otherwise.

#include "cells.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace spin {

namespace {

void locate_one(double sx, double sy, double margin, int width, int height, bool solid,
                int *code) {
  bool outside = false;
  double fx, fy;
  const int ix = cell(sx, margin, width, outside, fx);
  const int iy = cell(sy, margin, height, outside, fy);
  if (ix < 0 || iy < 0) *code = kInDoubt;
  else if (outside && solid) *code = kOutsideColour;
  else *code = iy * width + ix;
}

#if defined(__x86_64__) || defined(__i386__)
// The unit square of four points along one axis: its corner k (floor of
// the point), and whether the point lies farther than margin from its
// edges and within the range where cell tests the fraction.
__attribute__((target("avx2"))) inline __m128i square(__m256d v, __m256d margin,
                                                      __m256d one_less, __m256d &sure) {
  const __m256d k = _mm256_floor_pd(v), frac = _mm256_sub_pd(v, k);
  const __m256d near = _mm256_and_pd(_mm256_cmp_pd(v, _mm256_set1_pd(-1e9), _CMP_GT_OQ),
                                     _mm256_cmp_pd(v, _mm256_set1_pd(1e9), _CMP_LT_OQ));
  sure = _mm256_and_pd(near, _mm256_and_pd(_mm256_cmp_pd(frac, margin, _CMP_GT_OQ),
                                           _mm256_cmp_pd(frac, one_less, _CMP_LT_OQ)));
  // Points outside the range give no meaningful k; they are not sure.
  return _mm256_cvttpd_epi32(_mm256_blendv_pd(_mm256_setzero_pd(), k, near));
}

// The pixel of a sure corner k: k itself for k = 0 .. size - 2, else the
// clamped edge, with the lanes that were clamped marked in outside.
__attribute__((target("avx2"))) inline __m128i clamp(__m128i k, int size, __m128i &outside) {
  const __m128i last = _mm_set1_epi32(size - 1);
  const __m128i low = _mm_cmplt_epi32(k, _mm_setzero_si128());
  const __m128i high = _mm_cmpgt_epi32(k, _mm_set1_epi32(size - 2));
  outside = _mm_or_si128(outside, _mm_or_si128(low, high));
  return _mm_min_epi32(_mm_max_epi32(k, _mm_setzero_si128()), last);
}

__attribute__((target("avx2"))) int locate_avx2(const double *sx, const double *sy, int n,
                                                double margin, int width, int height,
                                                bool solid, int *code) {
  const __m256d m = _mm256_set1_pd(margin), one_less = _mm256_set1_pd(1.0 - margin);
  const __m128i w = _mm_set1_epi32(width), colour = _mm_set1_epi32(kOutsideColour);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256d sure_x, sure_y;
    const __m128i kx = square(_mm256_loadu_pd(sx + i), m, one_less, sure_x);
    const __m128i ky = square(_mm256_loadu_pd(sy + i), m, one_less, sure_y);
    if (_mm256_movemask_pd(_mm256_and_pd(sure_x, sure_y)) != 0xF) {
      // Edges and far points: cell decides them one by one.
      for (int j = i; j < i + 4; ++j) locate_one(sx[j], sy[j], margin, width, height, solid, code + j);
      continue;
    }
    __m128i outside = _mm_setzero_si128();
    const __m128i ix = clamp(kx, width, outside), iy = clamp(ky, height, outside);
    __m128i c = _mm_add_epi32(_mm_mullo_epi32(iy, w), ix);
    if (solid) c = _mm_blendv_epi8(c, colour, outside);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(code + i), c);
  }
  return i;
}
#endif

}  // namespace

void locate_whole(const double *sx, const double *sy, int n, double margin, int width,
                  int height, bool solid, int *code) {
  int done = 0;
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx2"))
    done = locate_avx2(sx, sy, n, margin, width, height, solid, code);
#endif
  for (int i = done; i < n; ++i) locate_one(sx[i], sy[i], margin, width, height, solid, code + i);
}

}  // namespace spin
