// wipeout: mixes two strips through a third used as a per-channel matte.

#include "seqfx_module.h"

#include <emmintrin.h>

#include <cstdio>
#include <cstring>
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
  // Sixteen bytes at a time. The products a m and b (1 - m) are exact in
  // double precision and so is their sum: the byte is the floor of the
  // exact a m + b (1 - m). With q = v / 255 in place of m that floor is
  // (a v + b (255 - v)) / 255 in integers, which every byte gets here; it
  // can differ only where 255 divides that numerator and a != b and m is
  // neither 0 nor 1 (m is then a hair off v / 255 either way), and those
  // few bytes are redone with the doubles.
  const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1);
  const __m128i full = _mm_set1_epi16(255);
  auto quotient8 = [&](__m128i a8, __m128i b8, __m128i c8, __m128i &doubt) {
    const __m128i num = _mm_add_epi16(_mm_mullo_epi16(a8, c8),
                                      _mm_mullo_epi16(b8, _mm_sub_epi16(full, c8)));
    // num / 255 for num <= 255 * 255: (num + 1 + (num >> 8)) >> 8.
    const __m128i q = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(num, one), _mm_srli_epi16(num, 8)), 8);
    const __m128i whole = _mm_cmpeq_epi16(_mm_mullo_epi16(q, full), num);
    const __m128i plain = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(a8, b8), _mm_cmpeq_epi16(c8, zero)),
                                       _mm_cmpeq_epi16(c8, full));
    doubt = _mm_or_si128(doubt, _mm_andnot_si128(plain, whole));
    return q;
  };
  for (; i + 16 <= 4 * n; i += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
    const __m128i vc = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c + i));
    __m128i doubt_lo = zero, doubt_hi = zero;
    const __m128i lo = quotient8(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero),
                                 _mm_unpacklo_epi8(vc, zero), doubt_lo);
    const __m128i hi = quotient8(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero),
                                 _mm_unpackhi_epi8(vc, zero), doubt_hi);
    const __m128i r = _mm_packus_epi16(lo, hi);
    const int redo = _mm_movemask_epi8(_mm_packs_epi16(doubt_lo, doubt_hi));
    if (!redo) {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), r);
      continue;
    }
    // From the loaded copies: out may be one of the inputs.
    unsigned char ra[16], rb[16], rc[16], rr[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(ra), va);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(rb), vb);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(rc), vc);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(rr), r);
    for (int j = 0; j < 16; ++j)
      if (redo >> j & 1) rr[j] = (unsigned char)(int)(byte[ra[j]] * m[rc[j]] + byte[rb[j]] * rest[rc[j]]);
    std::memcpy(dst + i, rr, 16);
  }
  for (; i < 4 * n; ++i)
    dst[i] = (unsigned char)(int)(byte[a[i]] * m[c[i]] + byte[b[i]] * rest[c[i]]);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
