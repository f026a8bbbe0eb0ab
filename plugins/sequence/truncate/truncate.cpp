// truncate: passes the pixels of one strip whose brightness lies between
// the pivot and the host's effect factor, and blacks out the rest.

#include "seqfx_module.h"

#include <emmintrin.h>

#include <cstring>

namespace {

using seqfx_module::pixels_to_walk;
using seqfx_module::unit;

// One 4-byte slot per table row.
struct Params {
  int note[4];  // labels
  float pivot;  // one end of the kept range, 0..1
};

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "trucate";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Note:"),
    SEQFX_LABEL("In addition to"),
    SEQFX_LABEL("pivot use the"),
    SEQFX_LABEL("IPO for a range"),
    SEQFX_FIELD(pivot, PLUGIN_CODE_SLIDER_FLOAT, "tpivot ", 0, 0, 1, "Trucation range pivot point."));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect) return;
  const Params *p = static_cast<const Params *>(params);
  // Counts come from ibuf1; never write past a smaller out.
  const long n = pixels_to_walk(ibuf1, out);

  // Both ends in single precision, truncated toward zero. The pivot is
  // limited like the factor, so that a slot outside the slider's range
  // still gives a defined integer.
  const int lo_end = (int)(unit(p->pivot) * 255);
  const int hi_end = (int)(unit(factor0) * 255);
  const int lo = lo_end < hi_end ? lo_end : hi_end;
  const int hi = lo_end < hi_end ? hi_end : lo_end;

  // Whether a pixel passes depends on R + G + B alone (0..765):
  // lo <= s / 3 <= hi is 3 lo <= s <= 3 hi + 2.
  bool keep[766];
  for (int s = 0; s <= 765; ++s) keep[s] = s / 3 >= lo && s / 3 <= hi;

  static const unsigned char black[4] = {0, 0, 0, 255};
  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;
  long i = 0;
  // Four pixels at a time: the channel sum in each 32-bit lane, compared
  // against the two ends; a failing pixel becomes opaque black.
  const __m128i byte = _mm_set1_epi32(0xFF), opaque = _mm_set1_epi32((int)0xFF000000u);
  const __m128i below = _mm_set1_epi32(3 * lo - 1), above = _mm_set1_epi32(3 * hi + 3);
  for (; i + 4 <= n; i += 4, src += 16, dst += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
    const __m128i sum = _mm_add_epi32(
        _mm_add_epi32(_mm_and_si128(v, byte), _mm_and_si128(_mm_srli_epi32(v, 8), byte)),
        _mm_and_si128(_mm_srli_epi32(v, 16), byte));
    const __m128i pass = _mm_and_si128(_mm_cmpgt_epi32(sum, below), _mm_cmplt_epi32(sum, above));
    const __m128i r = _mm_or_si128(_mm_and_si128(pass, v), _mm_andnot_si128(pass, opaque));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), r);
  }
  for (; i < n; ++i, src += 4, dst += 4) {
    const unsigned char *from = keep[src[0] + src[1] + src[2]] ? src : black;
    unsigned char px[4];
    std::memcpy(px, from, 4);
    std::memcpy(dst, px, 4);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
