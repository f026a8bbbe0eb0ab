// opacitymask: shows the alpha channel of a strip as a grey picture whose
// every byte is the alpha.

#include "seqfx_module.h"

#include <cstdio>

namespace {

// The table has a label alone; its slot is never read.
struct Params {
  int label_input;
};

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Matte Maker";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr, SEQFX_LABEL("Input: 1 strip"));

SEQFX_EXPORT void plugin_seq_doit(void *, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !ibuf1->rect) return;
  if (!out || !out->rect) {
    std::printf("opacitymask: no output image!\n");
    return;
  }
  // The pixel count is ibuf1's own size; never walk past a smaller output.
  const long n = seqfx_module::pixels_to_walk(ibuf1, out);
  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;
  for (long i = 0; i < n; ++i, src += 4, dst += 4) dst[0] = dst[1] = dst[2] = dst[3] = src[3];
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
