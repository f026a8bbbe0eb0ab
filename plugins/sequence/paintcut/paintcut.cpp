// paintcut: replaces the pixels of the first strip whose colour lies in a
// box around a key colour in RGB by the pixels of the second strip, or by
// transparent black when there is no second strip.

#include "seqfx_module.h"

#include <cstdio>

namespace {

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int red, green, blue;  // rows 1..3: key colour
  int tolerance;         // row 4
};

long pixels_of(const ImageBuffer *b) {
  if (b->xsize <= 0 || b->ysize <= 0) return 0;
  return (long)b->xsize * b->ysize;
}

inline int clamp_byte(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Chroma Key";
SEQFX_DATA float cfra;
SEQFX_DATA ParamDescriptor varstr[] = {
    SEQFX_ROW(PLUGIN_CODE_LABEL, "In: >= 1 strip", 0, 0, 0, ""),
    SEQFX_ROW(PLUGIN_CODE_SLIDER_INT, "Red:", 0, 0, 255, "Red ValuE"),
    SEQFX_ROW(PLUGIN_CODE_SLIDER_INT, "Green:", 0, 0, 255, "GreEn Value"),
    SEQFX_ROW(PLUGIN_CODE_SLIDER_INT, "Blue:", 255, 0, 255, "BLue Value"),
    SEQFX_ROW(PLUGIN_CODE_SLIDER_INT, "Tolerance:", 0, 0, 255, "Tolerance"),
};
}
static_assert(sizeof(Params) == sizeof(varstr) / sizeof(varstr[0]) * 4, "one slot per row");

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *ibuf2, ImageBuffer *out, ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  if (!ibuf1 || !ibuf1->rect) return;
  if (!out || !out->rect) {
    std::printf("paintcut: no output image!\n");
    return;
  }

  // The key box, limited to the byte range.
  const int key[3] = {p->red, p->green, p->blue};
  int lo[3], hi[3];
  for (int c = 0; c < 3; ++c) {
    lo[c] = clamp_byte(key[c] - p->tolerance);
    hi[c] = clamp_byte(key[c] + p->tolerance);
  }
  // Per channel and byte value: inside the box or not.
  unsigned char inside[3][256];
  for (int c = 0; c < 3; ++c)
    for (int b = 0; b < 256; ++b) inside[c][b] = lo[c] <= b && b <= hi[c];

  const unsigned char *repl = nullptr;
  if (!ibuf2 || ibuf2 == ibuf1 || !ibuf2->rect) std::printf("no ibuf2!\n");
  else repl = ibuf2->rect;

  // The pixel count is ibuf1's own size; never walk past a smaller image.
  long n = pixels_of(ibuf1);
  if (pixels_of(out) < n) n = pixels_of(out);
  if (repl && pixels_of(ibuf2) < n) n = pixels_of(ibuf2);

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
