// paintcut: replaces the pixels of the first strip whose colour lies in a
// box around a key colour in RGB by the pixels of the second strip, or by
// transparent black when there is no second strip.

#include "seqfx_module.h"
#include "clamps.h"

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

  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;
  static const unsigned char clear[4] = {0, 0, 0, 0};
  for (long i = 0; i < n; ++i, src += 4, dst += 4) {
    const unsigned char *from = src;
    if (inside[0][src[0]] & inside[1][src[1]] & inside[2][src[2]]) from = repl ? repl + 4 * i : clear;
    dst[0] = from[0];
    dst[1] = from[1];
    dst[2] = from[2];
    dst[3] = from[3];
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
