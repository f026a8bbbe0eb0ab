// Highlight isolation and saturating addition of pixel arrays, the first
// and last passes of the glow-like effects.

#include "highlights.h"

#include "clamps.h"

#include <cstddef>
#include <cstdlib>

#include <emmintrin.h>

namespace {

using seqfx_common::low_byte;

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

}  // namespace

namespace seqfx_common {

void isolate_highlights(const unsigned char *src, unsigned char *dst, int width, int height,
                        int threshold, float boost, float clamp) {
  if (width <= 0 || height <= 0) return;
  const float limit = clamp * 255.0f;
  std::size_t count = (std::size_t)width * (std::size_t)height;
  // Four pixels at a time; each pixel's bytes are read before its own are
  // written, so src may be dst.
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
  for (; i + 16 <= bytes; i += 16)
    _mm_storeu_si128((__m128i *)(dst + i), _mm_adds_epu8(_mm_loadu_si128((const __m128i *)(a + i)),
                                                         _mm_loadu_si128((const __m128i *)(b + i))));
  for (; i < bytes; ++i) {
    const unsigned s = (unsigned)a[i] + b[i];
    dst[i] = (unsigned char)(s > 255 ? 255 : s);
  }
}

}  // namespace seqfx_common
