// beamsword: turns thin bright shapes on a dark ground into glowing beams:
// the lit pixels are painted in the aura colour, boosted, blurred at two
// radii, added onto the picture, and the whole is softened by a core blur.

#include "seqfx_module.h"
#include "frame_fit.h"

#include "expand.h"
#include "gaussian_blur.h"
#include "highlights.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include <emmintrin.h>

namespace {

// One 4-byte slot per table row.
struct Params {
  int label;
  unsigned char colour[4];  // R, G, B; A unused
  int expand;
  float blur_aura;
  float blur_core;
  int quality;
  int credit;
  int flicker;
};

// The aura radius, truncated toward zero. A factor curve far outside 0..1
// could make the product unrepresentable or the window longer than any
// frame: the radius is kept within 0 .. 100, five times the largest Blur
// Aura (a negative radius blurs nothing, as 0 does).
int aura_radius(float v) {
  if (!(v > 0.0f)) return 0;
  return v < 100.0f ? (int)v : 100;
}

// out = in + (mark + wide), each sum saturated at 255, for R, G, B (wide
// null counts as black); out's A is in's A, to which the zeroed mark and
// wide images add nothing. out may be in, or wide.
void add_aura(const unsigned char *in, const unsigned char *mark, const unsigned char *wide,
              unsigned char *out, std::size_t pixels) {
  const __m128i alpha = _mm_set1_epi32((int)0xFF000000u);
  std::size_t i = 0;
  for (; i + 4 <= pixels; i += 4) {
    const __m128i a = _mm_loadu_si128((const __m128i *)(in + 4 * i));
    __m128i aura = _mm_loadu_si128((const __m128i *)(mark + 4 * i));
    if (wide) aura = _mm_adds_epu8(aura, _mm_loadu_si128((const __m128i *)(wide + 4 * i)));
    const __m128i sum = _mm_adds_epu8(a, _mm_andnot_si128(alpha, aura));
    _mm_storeu_si128((__m128i *)(out + 4 * i), sum);
  }
  for (; i < pixels; ++i) {
    out[4 * i + 3] = in[4 * i + 3];
    for (int c = 0; c < 3; ++c) {
      const unsigned m = mark[4 * i + c] + (wide ? wide[4 * i + c] : 0u);
      const unsigned s = in[4 * i + c] + (m > 255 ? 255u : m);
      out[4 * i + c] = (unsigned char)(s > 255 ? 255 : s);
    }
  }
}

}  // namespace

using seqfx_common::isolate_highlights;

extern "C" {
SEQFX_DATA char name[24] = "BeamBlade";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL_ROW("BeamBlade", 0, 0, 0, "In: 1 strip"),
    SEQFX_FIELD(colour, PLUGIN_CODE_COLOUR, "color", 0, 0, 255, "Color"),
    SEQFX_FIELD(expand, PLUGIN_CODE_NUMBER_INT, "Expand", 0, 0, 255,
                "Artificially add pixels around edges"),
    SEQFX_FIELD(blur_aura, PLUGIN_CODE_NUMBER_FLOAT, "Blur Aura", 10, 0, 20,
                "Amount of blur on aura"),
    SEQFX_FIELD(blur_core, PLUGIN_CODE_NUMBER_FLOAT, "Blur Core", 0.7f, 0, 20,
                "Amount of blur on core"),
    SEQFX_FIELD(quality, PLUGIN_CODE_NUMBER_INT, "Blur Quality", 3, 1, 5,
                "Accuracy of blur applied"),
    // The label under the blur settings, a credit line; its text is our own.
    SEQFX_LABEL_ROW("seqfx effects", 0, 0, 0, "In: 1 strip"),
    SEQFX_FIELD(flicker, PLUGIN_CODE_TOGGLE, "Flicker", 0, 0, 1, "Flicker aura"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  // A missing image or an empty frame leaves out as it is.
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect) return;
  // Records holding fewer pixels than the frame narrow the frame walked.
  seqfx_common::fit_frame(width, height, {ibuf1, out});
  if (width <= 0 || height <= 0) return;
  const unsigned char *in = ibuf1->rect;
  unsigned char *dst = out->rect;
  const std::size_t bytes = (std::size_t)width * (std::size_t)height * 4;

  // The mark image and the wide aura. Marking writes every pixel of the
  // mark image, and the wide aura is only read where a blur has written it,
  // so neither needs clearing. The wide aura is built in out itself unless
  // out is the input, which is read again at the end. Without memory for
  // them the picture is passed through unchanged.
  const bool own_wide = dst == in;
  unsigned char *mark = (unsigned char *)std::malloc(bytes);
  unsigned char *wide = own_wide ? (unsigned char *)std::malloc(bytes) : dst;
  if (!mark || !wide) {
    std::free(mark);
    if (own_wide) std::free(wide);
    if (dst != in) std::memcpy(dst, in, bytes);
    return;
  }

  const int aura = aura_radius(p->flicker ? factor0 * p->blur_aura : p->blur_aura);
  // Every marked pixel has the aura colour, and black stays black when the
  // highlights are isolated: the boosted colour, worked out once on a few
  // pixels of it, is what the marks are painted with.
  unsigned char boosted[16 * 4];
  for (int i = 0; i < 16; ++i) {
    boosted[4 * i] = p->colour[0];
    boosted[4 * i + 1] = p->colour[1];
    boosted[4 * i + 2] = p->colour[2];
    boosted[4 * i + 3] = 0;
  }
  isolate_highlights(boosted, boosted, 16, 1, 0, 1.5f, 1.0f);
  expandPixels(in, mark, width, height, p->expand, 1, boosted[0], boosted[1], boosted[2]);
  gaussianBlur(mark, wide, width, height, (float)(2 * aura), p->quality);
  gaussianBlur(mark, mark, width, height, (float)aura, p->quality);
  // A wide aura of radius 0 is left as it was: black.
  add_aura(in, mark, aura > 0 ? wide : nullptr, dst, (std::size_t)width * height);
  // The core blur's cost grows with its size: a size beyond the table's
  // largest is taken as the largest.
  gaussianBlur(dst, dst, width, height, p->blur_core > 20.0f ? 20.0f : p->blur_core, p->quality);

  std::free(mark);
  if (own_wide) std::free(wide);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
