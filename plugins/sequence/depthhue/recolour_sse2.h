// depthhue: four pixels at a time with SSE2. Every step is the same
// single- or double-precision operation as in the pixel-by-pixel path, so
// the bytes are the same; only the order of work differs.
#pragma once

#ifdef __SSE2__
#include <emmintrin.h>

namespace depthhue_impl {

// The sectors (i, w) of four depth fractions under the linear mapping
// u = a d + b, limited to 0..1 (not a number counting as 0).
__attribute__((always_inline)) inline void linear_sectors(__m128 d, __m128d a, __m128d b, __m128i *i, __m128 *w) {
  const __m128d zero = _mm_setzero_pd(), one = _mm_set1_pd(1.0);
  // For every float hue from 0 to 240 the product with 1/60 rounds to the
  // same single as the quotient by 60 (checked over all of them): the
  // cheaper multiplication gives the same sector.
  const __m128d k240 = _mm_set1_pd(240.0), k60th = _mm_set1_pd(1.0 / 60.0);
  __m128 hh2[2];
  for (int half = 0; half < 2; ++half) {
    __m128d u = _mm_cvtps_pd(half ? _mm_movehl_ps(d, d) : d);
    u = _mm_add_pd(_mm_mul_pd(a, u), b);
    // maxpd gives its second operand when the first is not a number.
    u = _mm_min_pd(_mm_max_pd(u, zero), one);
    const __m128 h = _mm_cvtpd_ps(_mm_mul_pd(u, k240));  // u x 240, rounded to single
    hh2[half] = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(h), k60th));
  }
  const __m128 hh = _mm_movelh_ps(hh2[0], hh2[1]);
  *i = _mm_cvttps_epi32(hh);
  const __m128 f = _mm_sub_ps(hh, _mm_cvtepi32_ps(*i));
  const __m128i one_i = _mm_set1_epi32(1);
  const __m128 odd = _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(*i, one_i), one_i));
  *w = _mm_or_ps(_mm_and_ps(odd, f), _mm_andnot_ps(odd, _mm_sub_ps(_mm_set1_ps(1.0f), f)));
}

// Four pixels recoloured with their sectors: saturation and value from
// the largest and smallest byte, then v, x and p placed by the sector as
// hsv_place gives them. Alpha passes through.
__attribute__((always_inline)) inline __m128i recolour4(__m128i px, __m128i i, __m128 w) {
  const __m128i low = _mm_set1_epi32(0xFF);
  const __m128i r = _mm_and_si128(px, low), g = _mm_and_si128(_mm_srli_epi32(px, 8), low),
                b = _mm_and_si128(_mm_srli_epi32(px, 16), low);
  // Bytes in 32-bit lanes with zero upper halves: 16-bit max and min do.
  const __m128i hi = _mm_max_epi16(_mm_max_epi16(r, g), b), lo = _mm_min_epi16(_mm_min_epi16(r, g), b);
  // A byte over 255 as a single-precision quotient: for every byte this is
  // the double quotient rounded to single, as the conversion takes it.
  const __m128 k255 = _mm_set1_ps(255.0f), one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
  const __m128 v = _mm_div_ps(_mm_cvtepi32_ps(hi), k255), vmin = _mm_div_ps(_mm_cvtepi32_ps(lo), k255);
  const __m128 s = _mm_andnot_ps(_mm_cmpeq_ps(v, zero), _mm_div_ps(_mm_sub_ps(v, vmin), v));
  const __m128 x = _mm_mul_ps(v, _mm_sub_ps(one, _mm_mul_ps(s, w)));
  const __m128 p = _mm_mul_ps(v, _mm_sub_ps(one, s));
  const __m128i vb = _mm_and_si128(_mm_cvttps_epi32(_mm_mul_ps(v, k255)), low);
  const __m128i xb = _mm_and_si128(_mm_cvttps_epi32(_mm_mul_ps(x, k255)), low);
  const __m128i pb = _mm_and_si128(_mm_cvttps_epi32(_mm_mul_ps(p, k255)), low);

  // Hues run from 0 to 240 degrees here: sectors 0 to 4.
  __m128i sector[5];
  for (int k = 0; k < 5; ++k) sector[k] = _mm_cmpeq_epi32(i, _mm_set1_epi32(k));
  // The channel that takes v, x or p in sector k: hsv_place[k].
  __m128i channel[3] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
  for (int k = 0; k < 5; ++k) {
    channel[hsv_place[k][0]] = _mm_or_si128(channel[hsv_place[k][0]], _mm_and_si128(sector[k], vb));
    channel[hsv_place[k][1]] = _mm_or_si128(channel[hsv_place[k][1]], _mm_and_si128(sector[k], xb));
    channel[hsv_place[k][2]] = _mm_or_si128(channel[hsv_place[k][2]], _mm_and_si128(sector[k], pb));
  }
  const __m128i alpha = _mm_andnot_si128(_mm_set1_epi32(0x00FFFFFF), px);
  return _mm_or_si128(_mm_or_si128(channel[0], _mm_slli_epi32(channel[1], 8)),
                      _mm_or_si128(_mm_slli_epi32(channel[2], 16), alpha));
}

}  // namespace depthhue_impl

#endif  // __SSE2__
