// opacitymask: shows the alpha channel of a strip as a grey picture whose
// every byte is the alpha.

#include "seqfx_module.h"

#include <cstdio>

namespace {

long pixels_of(const ImageBuffer *b) {
  if (b->xsize <= 0 || b->ysize <= 0) return 0;
  return (long)b->xsize * b->ysize;
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Matte Maker";
SEQFX_DATA float cfra;
SEQFX_DATA ParamDescriptor varstr[] = {
    SEQFX_ROW(PLUGIN_CODE_LABEL, "Input: 1 strip", 0, 0, 0, ""),
};
}

SEQFX_EXPORT void plugin_seq_doit(void *, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !ibuf1->rect) return;
  if (!out || !out->rect) {
    std::printf("opacitymask: no output image!\n");
    return;
  }
  // The pixel count is ibuf1's own size; never walk past a smaller output.
  long n = pixels_of(ibuf1);
  if (pixels_of(out) < n) n = pixels_of(out);
  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;
  for (long i = 0; i < n; ++i, src += 4, dst += 4) dst[0] = dst[1] = dst[2] = dst[3] = src[3];
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
