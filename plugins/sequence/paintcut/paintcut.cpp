// paintcut: replaces the pixels of the first strip whose colour lies in a
// box around a key colour in RGB by the pixels of the second strip, or by
// transparent black when there is no second strip.

#include "seqfx_module.h"
#include "clamps.h"

#include <emmintrin.h>

#include <cstdio>

namespace {

using seqfx_common::clamp;
using seqfx_module::pixel_count;

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int red, green, blue;  // key colour
  int tolerance;
};

// The four bytes of lo and hi in each 32-bit lane; alpha's box is 0..255.
inline __m128i lanes(const int v[3], int alpha) {
  return _mm_set1_epi32((int)((unsigned)v[0] | (unsigned)v[1] << 8 | (unsigned)v[2] << 16 |
                              (unsigned)alpha << 24));
}

// Four pixels at a time: a pixel is inside when none of its bytes lies
// below lo or above hi (both saturating differences are 0), and then takes
// the replacement's four bytes. Every source is read before its 16 bytes
// are written, so out may be either input.
long keep_or_replace4(const unsigned char *src, const unsigned char *repl, unsigned char *dst,
                      long n, const int lo[3], const int hi[3]) {
  const __m128i vlo = lanes(lo, 0), vhi = lanes(hi, 255), zero = _mm_setzero_si128();
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 4 * i));
    const __m128i r =
        repl ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(repl + 4 * i)) : zero;
    const __m128i out = _mm_or_si128(_mm_subs_epu8(vlo, s), _mm_subs_epu8(s, vhi));
    const __m128i inside = _mm_cmpeq_epi32(out, zero);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * i),
                     _mm_or_si128(_mm_and_si128(inside, r), _mm_andnot_si128(inside, s)));
  }
  return i;
}


}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Chroma Key";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("In: >= 1 strip"),
    SEQFX_FIELD(red, PLUGIN_CODE_SLIDER_INT, "Red:", 0, 0, 255, "Red ValuE"),
    SEQFX_FIELD(green, PLUGIN_CODE_SLIDER_INT, "Green:", 0, 0, 255, "GreEn Value"),
    SEQFX_FIELD(blue, PLUGIN_CODE_SLIDER_INT, "Blue:", 255, 0, 255, "BLue Value"),
    SEQFX_FIELD(tolerance, PLUGIN_CODE_SLIDER_INT, "Tolerance:", 0, 0, 255, "Tolerance"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *ibuf2, ImageBuffer *out, ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  if (!ibuf1 || !ibuf1->rect) return;
  if (!out || !out->rect) {
    std::printf("paintcut: no output image!\n");
    return;
  }

  // The key box, limited to the byte range. The sums are taken in 64 bits:
  // a slot may hold any integer, and key +- tolerance must not overflow.
  const long long key[3] = {p->red, p->green, p->blue};
  int lo[3], hi[3];
  for (int c = 0; c < 3; ++c) {
    lo[c] = (int)clamp(key[c] - p->tolerance, 0LL, 255LL);
    hi[c] = (int)clamp(key[c] + p->tolerance, 0LL, 255LL);
  }
  // Per channel and byte value: inside the box or not.
  unsigned char inside[3][256];
  for (int c = 0; c < 3; ++c)
    for (int b = 0; b < 256; ++b) inside[c][b] = lo[c] <= b && b <= hi[c];

  const unsigned char *repl = nullptr;
  if (!ibuf2 || ibuf2 == ibuf1 || !ibuf2->rect) std::printf("no ibuf2!\n");
  else repl = ibuf2->rect;

  // The pixel count is ibuf1's own size; never walk past a smaller image.
  long n = pixel_count(ibuf1);
  if (pixel_count(out) < n) n = pixel_count(out);
  if (repl && pixel_count(ibuf2) < n) n = pixel_count(ibuf2);

  const long done = keep_or_replace4(ibuf1->rect, repl, out->rect, n, lo, hi);
  const unsigned char *src = ibuf1->rect + 4 * done;
  unsigned char *dst = out->rect + 4 * done;
  static const unsigned char clear[4] = {0, 0, 0, 0};
  for (long i = done; i < n; ++i, src += 4, dst += 4) {
    const unsigned char *from = src;
    if (inside[0][src[0]] & inside[1][src[1]] & inside[2][src[2]]) from = repl ? repl + 4 * i : clear;
    dst[0] = from[0];
    dst[1] = from[1];
    dst[2] = from[2];
    dst[3] = from[3];
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
