// monodrift: fades one strip towards a weighted grey, optionally following
// the host's effect curve, and passes the strip's depth plane on to the
// output image.

#include "seqfx_module.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <immintrin.h>
#include <xmmintrin.h>
#endif

namespace {

using seqfx_module::pixels_to_walk;
using seqfx_module::unit;

// One 4-byte slot per table row.
struct Params {
  int label_mixing;
  float red, green, blue;  // grey weights, not normalised
  int animated;            // fade by factor0 instead of fully
};

// A weight that is not a number counts as 0, so that no pixel value
// becomes undefined; any other value is used as it stands.
float weight(float v) { return v == v ? v : 0.0f; }

// Weights of either sign and any size give a defined byte: beyond 255 it
// is 255, below 0 (or not a number) it is 0; in between, rounded half up.
inline unsigned char to_byte(float v) {
  v = v > 0.0f ? v : 0.0f;
  v = v < 255.0f ? v : 255.0f;
  return (unsigned char)(int)(v + 0.5f);
}

#if defined(__SSE2__)
// to_byte for four values, still as floats (plus 0.5, to be truncated):
// maxps gives its second operand, 0, for a value that is not a number.
inline __m128 round_byte(__m128 v, __m128 zero, __m128 top, __m128 half) {
  return _mm_add_ps(_mm_min_ps(_mm_max_ps(v, zero), top), half);
}
#endif

// Eight pixels at a time where the processor has AVX2 (chosen at run
// time): the four-pixel steps on each 128-bit half, lane for lane the same
// single-precision operations, without fused multiply-adds. Returns the
// pixels done.
#define SEQFX_AVX2 __attribute__((target("avx2"), always_inline)) inline
SEQFX_AVX2 void transpose8(__m256 &a, __m256 &b, __m256 &c, __m256 &d) {
  const __m256 t0 = _mm256_unpacklo_ps(a, b), t1 = _mm256_unpacklo_ps(c, d);
  const __m256 t2 = _mm256_unpackhi_ps(a, b), t3 = _mm256_unpackhi_ps(c, d);
  a = _mm256_shuffle_ps(t0, t1, 0x44);
  b = _mm256_shuffle_ps(t0, t1, 0xEE);
  c = _mm256_shuffle_ps(t2, t3, 0x44);
  d = _mm256_shuffle_ps(t2, t3, 0xEE);
}

SEQFX_AVX2 __m256 round_byte8(__m256 v, __m256 zero, __m256 top, __m256 half) {
  return _mm256_add_ps(_mm256_min_ps(_mm256_max_ps(v, zero), top), half);
}
#undef SEQFX_AVX2

__attribute__((target("avx2"))) long grey_avx2(const unsigned char *src, unsigned char *dst,
                                               long n, float wr, float wg, float wb, float f,
                                               float rest) {
  const __m256 vwr = _mm256_set1_ps(wr), vwg = _mm256_set1_ps(wg), vwb = _mm256_set1_ps(wb);
  const __m256 vf = _mm256_set1_ps(f), vrest = _mm256_set1_ps(rest);
  const __m256 zero = _mm256_setzero_ps(), top = _mm256_set1_ps(255.0f), half = _mm256_set1_ps(0.5f);
  const __m256i izero = _mm256_setzero_si256();
  long k = 0;
  for (; k + 8 <= n; k += 8, src += 32, dst += 32) {
    const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src));
    const __m256i lo = _mm256_unpacklo_epi8(px, izero), hi = _mm256_unpackhi_epi8(px, izero);
    __m256 r = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(lo, izero));
    __m256 g = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(lo, izero));
    __m256 b = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(hi, izero));
    __m256 a = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(hi, izero));
    transpose8(r, g, b, a);
    const __m256 fl = _mm256_mul_ps(
        vf, _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(vwr, r), _mm256_mul_ps(vwg, g)), _mm256_mul_ps(vwb, b)));
    r = round_byte8(_mm256_add_ps(_mm256_mul_ps(r, vrest), fl), zero, top, half);
    g = round_byte8(_mm256_add_ps(_mm256_mul_ps(g, vrest), fl), zero, top, half);
    b = round_byte8(_mm256_add_ps(_mm256_mul_ps(b, vrest), fl), zero, top, half);
    transpose8(r, g, b, a);
    const __m256i p01 = _mm256_packs_epi32(_mm256_cvttps_epi32(r), _mm256_cvttps_epi32(g));
    const __m256i p23 = _mm256_packs_epi32(_mm256_cvttps_epi32(b), _mm256_cvttps_epi32(a));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst), _mm256_packus_epi16(p01, p23));
  }
  return k;
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "monoDrift";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("MIXING VALUES"),
    SEQFX_FIELD(red, PLUGIN_CODE_SLIDER_FLOAT, "red ", 0.3f, 0, 1, "redValue"),
    SEQFX_FIELD(green, PLUGIN_CODE_SLIDER_FLOAT, "green ", 0.59f, 0, 1, "greenValue"),
    SEQFX_FIELD(blue, PLUGIN_CODE_SLIDER_FLOAT, "blue ", 0.11f, 0, 1, "blueValue"),
    SEQFX_FIELD(animated, PLUGIN_CODE_TOGGLE, "Animated", 0, 0, 1, "For (Ipo) animated"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !out) return;
  const Params *p = static_cast<const Params *>(params);
  const float f = p->animated ? unit(factor0) : 1.0f;

  if (!ibuf1->zbuf) {
    std::printf("no zbuf\n");
    return;
  }

  // Counts come from ibuf1; out has the same size, but never write past it
  // should a host hand over a smaller one.
  const long n = pixels_to_walk(ibuf1, out);

  // The depth plane handed to out belongs to out from now on; a failed
  // allocation only skips the depth copy.
  if (!out->zbuf && n > 0) out->zbuf = static_cast<int *>(std::malloc((size_t)n * sizeof(int)));
  if (out->zbuf && out->zbuf != ibuf1->zbuf && n > 0)
    std::memmove(out->zbuf, ibuf1->zbuf, (size_t)n * sizeof(int));

  if (!ibuf1->rect || !out->rect) return;

  // Single precision throughout:
  //   L = wr R + wg G + wb B,  v = c (1 - f) + f L,
  // limited to 0..255 and rounded half up.
  const float wr = weight(p->red), wg = weight(p->green), wb = weight(p->blue);
  const float rest = 1.0f - f;

  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;
  long k = 0;
#if defined(__SSE2__)
  if (__builtin_cpu_supports("avx2")) {
    k = grey_avx2(src, dst, n, wr, wg, wb, f, rest);
    src += 4 * k;
    dst += 4 * k;
  }
  // Four pixels at a time: the same single-precision operations in the same
  // order, so every byte equals the one-pixel path below.
  const __m128 vwr = _mm_set1_ps(wr), vwg = _mm_set1_ps(wg), vwb = _mm_set1_ps(wb);
  const __m128 vf = _mm_set1_ps(f), vrest = _mm_set1_ps(rest);
  const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f);
  const __m128i izero = _mm_setzero_si128();
  for (; k + 4 <= n; k += 4, src += 16, dst += 16) {
    const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
    const __m128i lo = _mm_unpacklo_epi8(px, izero), hi = _mm_unpackhi_epi8(px, izero);
    __m128 r = _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, izero));
    __m128 g = _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, izero));
    __m128 b = _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, izero));
    __m128 a = _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, izero));
    _MM_TRANSPOSE4_PS(r, g, b, a);  // now one channel of four pixels each
    const __m128 fl = _mm_mul_ps(
        vf, _mm_add_ps(_mm_add_ps(_mm_mul_ps(vwr, r), _mm_mul_ps(vwg, g)), _mm_mul_ps(vwb, b)));
    r = round_byte(_mm_add_ps(_mm_mul_ps(r, vrest), fl), zero, top, half);
    g = round_byte(_mm_add_ps(_mm_mul_ps(g, vrest), fl), zero, top, half);
    b = round_byte(_mm_add_ps(_mm_mul_ps(b, vrest), fl), zero, top, half);
    _MM_TRANSPOSE4_PS(r, g, b, a);  // back to one pixel each
    const __m128i p01 = _mm_packs_epi32(_mm_cvttps_epi32(r), _mm_cvttps_epi32(g));
    const __m128i p23 = _mm_packs_epi32(_mm_cvttps_epi32(b), _mm_cvttps_epi32(a));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), _mm_packus_epi16(p01, p23));
  }
#endif
  for (; k < n; ++k, src += 4, dst += 4) {
    const float fl = f * (wr * (float)src[0] + wg * (float)src[1] + wb * (float)src[2]);
    const unsigned char r = to_byte((float)src[0] * rest + fl);
    const unsigned char g = to_byte((float)src[1] * rest + fl);
    const unsigned char b = to_byte((float)src[2] * rest + fl);
    dst[3] = src[3];
    dst[0] = r;
    dst[1] = g;
    dst[2] = b;
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
