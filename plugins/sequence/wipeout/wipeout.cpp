// wipeout: mixes two strips through a third used as a per-channel matte.

#include "seqfx_module.h"

#include <emmintrin.h>

#include <cstdio>
#include <initializer_list>

namespace {

using seqfx_module::pixel_count;

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int negative;  // "mask negative"
};

bool present(const ImageBuffer *b) { return b && b->rect; }

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "wipeOut";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 3 strips"),
    SEQFX_FIELD(negative, PLUGIN_CODE_TOGGLE, "mask negative", 0, 0, 1, "Make the mask negative"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *ibuf3) {
  const Params *p = static_cast<const Params *>(params);
  // Each missing image is named; the output is then left as it is.
  bool ok = true;
  if (!present(ibuf1)) std::printf("wipeout: no ibuf1!\n"), ok = false;
  if (!present(ibuf2)) std::printf("wipeout: no ibuf2!\n"), ok = false;
  if (!present(ibuf3)) std::printf("wipeout: no ibuf3 (matte)!\n"), ok = false;
  if (!present(out)) std::printf("wipeout: no output image!\n"), ok = false;
  if (!ok || width <= 0 || height <= 0) return;

  long n = (long)width * height;
  for (const ImageBuffer *b : {ibuf1, ibuf2, ibuf3, out})
    if (pixel_count(b) < n) n = pixel_count(b);

  // The matte byte over 255 is a single-precision quotient m; the mix
  // a m + b (1 - m) is formed in double precision (1 - m too) and truncated.
  double m[256], rest[256], byte[256];
  for (int v = 0; v < 256; ++v) {
    const float q = (float)v / 255.0f;
    m[v] = q;
    rest[v] = 1.0 - (double)q;
    byte[v] = v;
  }
  // "mask negative" lets the matte select the second strip instead.
  const unsigned char *a = p->negative ? ibuf2->rect : ibuf1->rect;
  const unsigned char *b = p->negative ? ibuf1->rect : ibuf2->rect;
  const unsigned char *c = ibuf3->rect;
  unsigned char *dst = out->rect;
  long i = 0;
  // Sixteen bytes at a time, two doubles per vector: the same quotient,
  // the same double products and sum, truncated the same way.
  const __m128i zero = _mm_setzero_si128();
  const __m128 f255 = _mm_set1_ps(255.0f);
  const __m128d one = _mm_set1_pd(1.0);
  auto mix4 = [&](__m128i a4, __m128i b4, __m128i c4) {
    const __m128 q = _mm_div_ps(_mm_cvtepi32_ps(c4), f255);
    const __m128d m_lo = _mm_cvtps_pd(q), m_hi = _mm_cvtps_pd(_mm_movehl_ps(q, q));
    const __m128d a_lo = _mm_cvtepi32_pd(a4), a_hi = _mm_cvtepi32_pd(_mm_srli_si128(a4, 8));
    const __m128d b_lo = _mm_cvtepi32_pd(b4), b_hi = _mm_cvtepi32_pd(_mm_srli_si128(b4, 8));
    const __m128d r_lo = _mm_add_pd(_mm_mul_pd(a_lo, m_lo), _mm_mul_pd(b_lo, _mm_sub_pd(one, m_lo)));
    const __m128d r_hi = _mm_add_pd(_mm_mul_pd(a_hi, m_hi), _mm_mul_pd(b_hi, _mm_sub_pd(one, m_hi)));
    return _mm_unpacklo_epi64(_mm_cvttpd_epi32(r_lo), _mm_cvttpd_epi32(r_hi));
  };
  for (; i + 16 <= 4 * n; i += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
    const __m128i vc = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c + i));
    __m128i part[4];
    for (int h = 0; h < 2; ++h) {
      const __m128i a8 = h ? _mm_unpackhi_epi8(va, zero) : _mm_unpacklo_epi8(va, zero);
      const __m128i b8 = h ? _mm_unpackhi_epi8(vb, zero) : _mm_unpacklo_epi8(vb, zero);
      const __m128i c8 = h ? _mm_unpackhi_epi8(vc, zero) : _mm_unpacklo_epi8(vc, zero);
      part[2 * h] = mix4(_mm_unpacklo_epi16(a8, zero), _mm_unpacklo_epi16(b8, zero),
                         _mm_unpacklo_epi16(c8, zero));
      part[2 * h + 1] = mix4(_mm_unpackhi_epi16(a8, zero), _mm_unpackhi_epi16(b8, zero),
                             _mm_unpackhi_epi16(c8, zero));
    }
    const __m128i r = _mm_packus_epi16(_mm_packs_epi32(part[0], part[1]),
                                       _mm_packs_epi32(part[2], part[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), r);
  }
  for (; i < 4 * n; ++i)
    dst[i] = (unsigned char)(int)(byte[a[i]] * m[c[i]] + byte[b[i]] * rest[c[i]]);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
