// depthhue: eight pixels at a time where the processor has AVX2 (chosen at
// run time), for the linear mapping: each lane does exactly what a lane of
// recolour_sse2.h does, in the same single and double precision, without
// fused multiply-adds.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "hsv.h"

namespace depthhue_impl {

#define DEPTHHUE_AVX2 __attribute__((target("avx2"), always_inline)) inline

// The sectors and weights of eight depth fractions: linear_sectors.
DEPTHHUE_AVX2 void linear_sectors8(__m256 d, __m256d a, __m256d b, __m256i *i, __m256 *w) {
  const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
  const __m256d k240 = _mm256_set1_pd(240.0), k60th = _mm256_set1_pd(1.0 / 60.0);
  __m128 hh2[2];
  for (int half = 0; half < 2; ++half) {
    __m256d u = _mm256_cvtps_pd(half ? _mm256_extractf128_ps(d, 1) : _mm256_castps256_ps128(d));
    u = _mm256_add_pd(_mm256_mul_pd(a, u), b);
    u = _mm256_min_pd(_mm256_max_pd(u, zero), one);  // not a number gives 0
    const __m128 h = _mm256_cvtpd_ps(_mm256_mul_pd(u, k240));
    hh2[half] = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(h), k60th));
  }
  const __m256 hh = _mm256_insertf128_ps(_mm256_castps128_ps256(hh2[0]), hh2[1], 1);
  *i = _mm256_cvttps_epi32(hh);
  const __m256 f = _mm256_sub_ps(hh, _mm256_cvtepi32_ps(*i));
  const __m256i one_i = _mm256_set1_epi32(1);
  const __m256 odd = _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(*i, one_i), one_i));
  *w = _mm256_or_ps(_mm256_and_ps(odd, f), _mm256_andnot_ps(odd, _mm256_sub_ps(_mm256_set1_ps(1.0f), f)));
}

// Eight pixels recoloured with their sectors: recolour4.
DEPTHHUE_AVX2 __m256i recolour8(__m256i px, __m256i i, __m256 w) {
  const __m256i low = _mm256_set1_epi32(0xFF);
  const __m256i r = _mm256_and_si256(px, low), g = _mm256_and_si256(_mm256_srli_epi32(px, 8), low),
                b = _mm256_and_si256(_mm256_srli_epi32(px, 16), low);
  const __m256i hi = _mm256_max_epi16(_mm256_max_epi16(r, g), b);
  const __m256i lo = _mm256_min_epi16(_mm256_min_epi16(r, g), b);
  const __m256 k255 = _mm256_set1_ps(255.0f), one = _mm256_set1_ps(1.0f), zero = _mm256_setzero_ps();
  const __m256 v = _mm256_div_ps(_mm256_cvtepi32_ps(hi), k255);
  const __m256 vmin = _mm256_div_ps(_mm256_cvtepi32_ps(lo), k255);
  const __m256 s = _mm256_andnot_ps(_mm256_cmp_ps(v, zero, _CMP_EQ_OQ), _mm256_div_ps(_mm256_sub_ps(v, vmin), v));
  const __m256 x = _mm256_mul_ps(v, _mm256_sub_ps(one, _mm256_mul_ps(s, w)));
  const __m256 p = _mm256_mul_ps(v, _mm256_sub_ps(one, s));
  const __m256i vb = _mm256_and_si256(_mm256_cvttps_epi32(_mm256_mul_ps(v, k255)), low);
  const __m256i xb = _mm256_and_si256(_mm256_cvttps_epi32(_mm256_mul_ps(x, k255)), low);
  const __m256i pb = _mm256_and_si256(_mm256_cvttps_epi32(_mm256_mul_ps(p, k255)), low);
  __m256i channel[3] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
  for (int k = 0; k < 5; ++k) {
    const __m256i sector = _mm256_cmpeq_epi32(i, _mm256_set1_epi32(k));
    channel[hsv_place[k][0]] = _mm256_or_si256(channel[hsv_place[k][0]], _mm256_and_si256(sector, vb));
    channel[hsv_place[k][1]] = _mm256_or_si256(channel[hsv_place[k][1]], _mm256_and_si256(sector, xb));
    channel[hsv_place[k][2]] = _mm256_or_si256(channel[hsv_place[k][2]], _mm256_and_si256(sector, pb));
  }
  const __m256i alpha = _mm256_andnot_si256(_mm256_set1_epi32(0x00FFFFFF), px);
  return _mm256_or_si256(_mm256_or_si256(channel[0], _mm256_slli_epi32(channel[1], 8)),
                         _mm256_or_si256(_mm256_slli_epi32(channel[2], 16), alpha));
}

#undef DEPTHHUE_AVX2

// The linear mapping u = a d + b over n pixels, eight at a time; returns
// the pixels done.
__attribute__((target("avx2"))) inline long recolour_linear_avx2(const unsigned char *src, const int *z,
                                                                unsigned char *dst, long n, double a,
                                                                double b) {
  const __m256d va = _mm256_set1_pd(a), vb = _mm256_set1_pd(b);
  const __m256 scale = _mm256_set1_ps(1.0f / 2147483648.0f);
  long done = 0;
  for (; done + 8 <= n; done += 8) {
    __m256i sector;
    __m256 w;
    const __m256i zz = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(z + done));
    linear_sectors8(_mm256_mul_ps(_mm256_cvtepi32_ps(zz), scale), va, vb, &sector, &w);
    const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + 4 * done));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + 4 * done), recolour8(px, sector, w));
  }
  return done;
}

}  // namespace depthhue_impl

#endif
