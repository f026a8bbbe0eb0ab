// Highlight isolation and saturating addition of pixel arrays, the first
// and last passes of the glow-like effects.

#include "highlights.h"

#include "clamps.h"
#include "weighted_sum.h"

#include <cstddef>
#include <cstdlib>

#include <emmintrin.h>
#include <immintrin.h>

namespace {

using seqfx_common::low_byte;
using seqfx_common::widest_lanes;

// The highlight value of one channel byte c at a positive intensity.
inline unsigned char highlight(int c, int intensity, float boost, float limit) {
  const float v = (float)c * boost * (float)intensity / 255.0f;
  return low_byte(limit >= v ? v : limit);
}

// The highlight values of one channel of four pixels (c and intensity as
// ints, lanes with intensity <= 0 giving 0), computed as highlight() does:
// the same single-precision operations in the same order, a limit that is
// not a number winning the comparison, and the low 8 bits of the truncated
// value (0 for one no int can hold, which converts to 0x80000000).
inline __m128i highlight4(__m128i c, __m128 intensity, __m128i lit, __m128 boost, __m128 limit) {
  const __m128 v =
      _mm_div_ps(_mm_mul_ps(_mm_mul_ps(_mm_cvtepi32_ps(c), boost), intensity), _mm_set1_ps(255.0f));
  const __m128 keep = _mm_cmpge_ps(limit, v);
  const __m128 h = _mm_or_ps(_mm_and_ps(keep, v), _mm_andnot_ps(keep, limit));
  return _mm_and_si128(_mm_and_si128(_mm_cvttps_epi32(h), _mm_set1_epi32(0xFF)), lit);
}

#if defined(__x86_64__)
// The eight-pixel helper is inlined into its one AVX2 caller, so no vector
// crosses a call: the ABI note about passing them does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

// highlight4 for eight pixels.
__attribute__((target("avx2"), always_inline)) inline __m256i highlight8(
    __m256i c, __m256 intensity, __m256i lit, __m256 boost, __m256 limit) {
  const __m256 scaled = _mm256_mul_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(c), boost), intensity);
  const __m256 v = _mm256_div_ps(scaled, _mm256_set1_ps(255.0f));
  const __m256 h = _mm256_blendv_ps(limit, v, _mm256_cmp_ps(limit, v, _CMP_GE_OQ));
  return _mm256_and_si256(_mm256_and_si256(_mm256_cvttps_epi32(h), _mm256_set1_epi32(0xFF)), lit);
}

// isolate_highlights' vector loop with eight pixels per AVX2 vector, the
// same operations lane by lane. Goes over whole vectors and returns the
// pixels left over.
__attribute__((target("avx2"))) std::size_t isolate_8(const unsigned char *&src,
                                                       unsigned char *&dst, std::size_t count,
                                                       int threshold, float boost, float limit) {
  const __m256i byte = _mm256_set1_epi32(0xFF), alpha = _mm256_set1_epi32((int)0xFF000000u);
  const __m256i thr = _mm256_set1_epi32(threshold);
  const __m256 vboost = _mm256_set1_ps(boost), vlimit = _mm256_set1_ps(limit);
  for (; count >= 8; count -= 8, src += 32, dst += 32) {
    const __m256i px = _mm256_loadu_si256((const __m256i *)src);
    const __m256i r = _mm256_and_si256(px, byte),
                  g = _mm256_and_si256(_mm256_srli_epi32(px, 8), byte),
                  b = _mm256_and_si256(_mm256_srli_epi32(px, 16), byte);
    const __m256i in = _mm256_sub_epi32(_mm256_add_epi32(_mm256_add_epi32(r, g), b), thr);
    const __m256i lit = _mm256_cmpgt_epi32(in, _mm256_setzero_si256());
    const __m256i old = _mm256_and_si256(_mm256_loadu_si256((const __m256i *)dst), alpha);
    if (_mm256_testz_si256(lit, lit)) {
      _mm256_storeu_si256((__m256i *)dst, old);
      continue;
    }
    const __m256 fin = _mm256_cvtepi32_ps(in);
    const __m256i rgb = _mm256_or_si256(
        _mm256_or_si256(highlight8(r, fin, lit, vboost, vlimit),
                        _mm256_slli_epi32(highlight8(g, fin, lit, vboost, vlimit), 8)),
        _mm256_slli_epi32(highlight8(b, fin, lit, vboost, vlimit), 16));
    _mm256_storeu_si256((__m256i *)dst, _mm256_or_si256(rgb, old));
  }
  return count;
}

// highlight4 for sixteen pixels, with AVX-512's compare masks.
#define SEQFX_HIGHLIGHTS_AVX512 __attribute__((target("avx512f"), always_inline)) inline
SEQFX_HIGHLIGHTS_AVX512 __m512i highlight16(__m512i c, __m512 intensity, __mmask16 lit, __m512 boost,
                                            __m512 limit) {
  const __m512 scaled =
      _mm512_mul_ps(_mm512_mul_ps(_mm512_maskz_cvtepi32_ps(0xFFFF, c), boost), intensity);
  const __m512 v = _mm512_maskz_div_ps(lit, scaled, _mm512_set1_ps(255.0f));
  const __m512 h = _mm512_mask_blend_ps(_mm512_cmp_ps_mask(limit, v, _CMP_GE_OQ), limit, v);
  return _mm512_maskz_and_epi32(lit, _mm512_maskz_cvttps_epi32(0xFFFF, h), _mm512_set1_epi32(0xFF));
}
#undef SEQFX_HIGHLIGHTS_AVX512

// isolate_highlights' vector loop with sixteen pixels per AVX-512 vector,
// the same operations lane by lane; the divisions are done for the lit
// lanes only.
__attribute__((target("avx512f"))) std::size_t isolate_16(const unsigned char *&src, unsigned char *&dst,
                                                          std::size_t count, int threshold, float boost,
                                                          float limit) {
  const __m512i byte = _mm512_set1_epi32(0xFF), alpha = _mm512_set1_epi32((int)0xFF000000u);
  const __m512i thr = _mm512_set1_epi32(threshold);
  const __m512 vboost = _mm512_set1_ps(boost), vlimit = _mm512_set1_ps(limit);
  for (; count >= 16; count -= 16, src += 64, dst += 64) {
    const __m512i px = _mm512_loadu_si512(src);
    const __m512i r = _mm512_and_si512(px, byte), g = _mm512_and_si512(_mm512_maskz_srli_epi32(0xFFFF, px, 8), byte),
                  b = _mm512_and_si512(_mm512_maskz_srli_epi32(0xFFFF, px, 16), byte);
    const __m512i in = _mm512_sub_epi32(_mm512_add_epi32(_mm512_add_epi32(r, g), b), thr);
    const __mmask16 lit = _mm512_cmpgt_epi32_mask(in, _mm512_setzero_si512());
    const __m512i old = _mm512_and_si512(_mm512_loadu_si512(dst), alpha);
    if (!lit) {
      _mm512_storeu_si512(dst, old);
      continue;
    }
    const __m512 fin = _mm512_maskz_cvtepi32_ps(0xFFFF, in);
    const __m512i rgb = _mm512_or_si512(
        _mm512_or_si512(highlight16(r, fin, lit, vboost, vlimit),
                        _mm512_maskz_slli_epi32(0xFFFF, highlight16(g, fin, lit, vboost, vlimit), 8)),
        _mm512_maskz_slli_epi32(0xFFFF, highlight16(b, fin, lit, vboost, vlimit), 16));
    _mm512_storeu_si512(dst, _mm512_or_si512(rgb, old));
  }
  return count;
}
#endif

}  // namespace

namespace seqfx_common {

void isolate_highlights(const unsigned char *src, unsigned char *dst, int width, int height,
                        int threshold, float boost, float clamp) {
  if (width <= 0 || height <= 0) return;
  const float limit = clamp * 255.0f;
  std::size_t count = (std::size_t)width * (std::size_t)height;
  // Sixteen, eight or four pixels at a time; each pixel's bytes are read
  // before its own are written, so src may be dst.
#if defined(__x86_64__)
  static const int lanes = widest_lanes();
  if (lanes >= 16) count = isolate_16(src, dst, count, threshold, boost, limit);
  if (lanes >= 8) count = isolate_8(src, dst, count, threshold, boost, limit);
#endif
  {
    const __m128i byte = _mm_set1_epi32(0xFF), alpha = _mm_set1_epi32((int)0xFF000000u);
    const __m128i thr = _mm_set1_epi32(threshold);
    const __m128 vboost = _mm_set1_ps(boost), vlimit = _mm_set1_ps(limit);
    for (; count >= 4; count -= 4, src += 16, dst += 16) {
      const __m128i px = _mm_loadu_si128((const __m128i *)src);
      const __m128i r = _mm_and_si128(px, byte), g = _mm_and_si128(_mm_srli_epi32(px, 8), byte),
                    b = _mm_and_si128(_mm_srli_epi32(px, 16), byte);
      const __m128i in = _mm_sub_epi32(_mm_add_epi32(_mm_add_epi32(r, g), b), thr);
      const __m128i lit = _mm_cmpgt_epi32(in, _mm_setzero_si128());
      if (_mm_movemask_epi8(lit) == 0) {
        const __m128i old = _mm_loadu_si128((const __m128i *)dst);
        _mm_storeu_si128((__m128i *)dst, _mm_and_si128(old, alpha));
        continue;
      }
      const __m128 fin = _mm_cvtepi32_ps(in);
      const __m128i hr = highlight4(r, fin, lit, vboost, vlimit);
      const __m128i hg = highlight4(g, fin, lit, vboost, vlimit);
      const __m128i hb = highlight4(b, fin, lit, vboost, vlimit);
      const __m128i rgb =
          _mm_or_si128(_mm_or_si128(hr, _mm_slli_epi32(hg, 8)), _mm_slli_epi32(hb, 16));
      const __m128i old = _mm_loadu_si128((const __m128i *)dst);
      _mm_storeu_si128((__m128i *)dst, _mm_or_si128(rgb, _mm_and_si128(old, alpha)));
    }
  }
  // The last pixels one by one.
  for (std::size_t i = 0; i < count; ++i, src += 4, dst += 4) {
    const int r = src[0], g = src[1], b = src[2];  // read before dst is written
    const int intensity = r + g + b - threshold;
    if (intensity <= 0) {
      dst[0] = dst[1] = dst[2] = 0;
    } else {
      dst[0] = highlight(r, intensity, boost, limit);
      dst[1] = highlight(g, intensity, boost, limit);
      dst[2] = highlight(b, intensity, boost, limit);
    }
  }
}

void add_saturating(const unsigned char *a, const unsigned char *b, unsigned char *dst, int width,
                    int height) {
  if (width <= 0 || height <= 0) return;
  const std::size_t bytes = (std::size_t)width * (std::size_t)height * 4;
  std::size_t i = 0;
  for (; i + 16 <= bytes; i += 16) {
    const __m128i x = _mm_loadu_si128((const __m128i *)(a + i));
    const __m128i y = _mm_loadu_si128((const __m128i *)(b + i));
    _mm_storeu_si128((__m128i *)(dst + i), _mm_adds_epu8(x, y));
  }
  for (; i < bytes; ++i) {
    const unsigned s = (unsigned)a[i] + b[i];
    dst[i] = (unsigned char)(s > 255 ? 255 : s);
  }
}

}  // namespace seqfx_common
