// The sum of the three colour bytes (0, 1 and 2) of four RGBA pixels, one
// pixel per 32-bit lane (0..765 each).
#pragma once

#include <emmintrin.h>

namespace seqfx_common {

inline __m128i colour_sum4(__m128i px) {
  const __m128i low = _mm_set1_epi32(0xFF);
  return _mm_add_epi32(_mm_add_epi32(_mm_and_si128(px, low), _mm_and_si128(_mm_srli_epi32(px, 8), low)),
                       _mm_and_si128(_mm_srli_epi32(px, 16), low));
}

}  // namespace seqfx_common
