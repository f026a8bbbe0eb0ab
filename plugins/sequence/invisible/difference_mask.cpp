// The difference mask 4, 8 or 16 pixels at a time: the absolute byte
// differences (saturating differences both ways), summed per pixel over the
// three colour bytes (0..765, exact as floats), compared as floats with the
// tolerance, ordered, so that a tolerance that is not a number marks
// nothing, as the one-pixel form does.

#include "difference_mask.h"

#include "lanes.h"

#include <cstring>

#if defined(__SSE2__)
#include "colour_sum.h"

#include <immintrin.h>
#endif

namespace invisible {

namespace {

inline unsigned char differs(const unsigned char *pa, const unsigned char *pb, float tolerance) {
  int d = 0;
  for (int k = 0; k < 3; ++k) d += pa[k] > pb[k] ? pa[k] - pb[k] : pb[k] - pa[k];
  return (float)d > tolerance;
}

#if defined(__SSE2__)

long mask_4(const unsigned char *a, const unsigned char *b, unsigned char *mask, long n,
            float tolerance) {
  const __m128i one = _mm_set1_epi32(1);
  const __m128 tol = _mm_set1_ps(tolerance);
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + 4 * i));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + 4 * i));
    const __m128i d = _mm_or_si128(_mm_subs_epu8(va, vb), _mm_subs_epu8(vb, va));
    const __m128i sum = seqfx_common::colour_sum4(d);
    const __m128i over = _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(sum), tol));
    const __m128i bit = _mm_and_si128(over, one);  // 1 or 0 per pixel
    const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(bit, bit), bit));
    std::memcpy(mask + i, &bytes, 4);
  }
  return i;
}

__attribute__((target("avx2"))) long mask_8(const unsigned char *a, const unsigned char *b,
                                            unsigned char *mask, long n, float tolerance) {
  const __m256i low = _mm256_set1_epi32(0xFF), one = _mm256_set1_epi32(1);
  const __m256 tol = _mm256_set1_ps(tolerance);
  long i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a + 4 * i));
    const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(b + 4 * i));
    const __m256i d = _mm256_or_si256(_mm256_subs_epu8(va, vb), _mm256_subs_epu8(vb, va));
    const __m256i sum = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_and_si256(d, low), _mm256_and_si256(_mm256_srli_epi32(d, 8), low)),
        _mm256_and_si256(_mm256_srli_epi32(d, 16), low));
    const __m256i over = _mm256_castps_si256(_mm256_cmp_ps(_mm256_cvtepi32_ps(sum), tol, _CMP_GT_OQ));
    const __m256i bit = _mm256_and_si256(over, one);
    // Packing works within 128-bit halves: pixels 0..3 come out at the
    // start of the low half, 4..7 at the start of the high one.
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(bit, bit), bit);
    const __m128i both = _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(mask + i), both);
  }
  return i;
}

// The compiler's 512-bit shift and conversion intrinsics start from an
// undefined register that this compiler then reports as maybe used
// uninitialised; every lane is written.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512bw"))) long mask_16(const unsigned char *a, const unsigned char *b,
                                                 unsigned char *mask, long n, float tolerance) {
  const __m512i low = _mm512_set1_epi32(0xFF), one = _mm512_set1_epi32(1);
  const __m512 tol = _mm512_set1_ps(tolerance);
  long i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m512i va = _mm512_loadu_si512(a + 4 * i);
    const __m512i vb = _mm512_loadu_si512(b + 4 * i);
    const __m512i d = _mm512_or_si512(_mm512_subs_epu8(va, vb), _mm512_subs_epu8(vb, va));
    const __m512i sum = _mm512_add_epi32(
        _mm512_add_epi32(_mm512_and_si512(d, low), _mm512_and_si512(_mm512_srli_epi32(d, 8), low)),
        _mm512_and_si512(_mm512_srli_epi32(d, 16), low));
    const __mmask16 over = _mm512_cmp_ps_mask(_mm512_cvtepi32_ps(sum), tol, _CMP_GT_OQ);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(mask + i),
                     _mm512_cvtepi32_epi8(_mm512_maskz_mov_epi32(over, one)));
  }
  return i;
}
#pragma GCC diagnostic pop

#endif

}  // namespace

void difference_mask(const unsigned char *a, const unsigned char *b, unsigned char *mask, long n,
                     float tolerance) {
  long i = 0;
#if defined(__SSE2__)
  const int n_lanes = lanes();
  if (n_lanes == 16)
    i = mask_16(a, b, mask, n, tolerance);
  else if (n_lanes == 8)
    i = mask_8(a, b, mask, n, tolerance);
  i += mask_4(a + 4 * i, b + 4 * i, mask + i, n - i, tolerance);
#endif
  for (; i < n; ++i) mask[i] = differs(a + 4 * i, b + 4 * i, tolerance);
}

}  // namespace invisible
