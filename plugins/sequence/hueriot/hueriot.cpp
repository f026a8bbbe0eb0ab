// hueriot: recolours one strip with three channel curves driven by the
// effect factor. Each channel is inverted at half contrast and lifted by
// its own factor; lifts above one overflow and wrap round, which gives the
// banded, posterised colours.

#include "seqfx_module.h"

#include <cstring>

namespace {

using seqfx_module::pixels_to_walk;
using seqfx_module::unit;

// One 4-byte slot per table row.
struct Params {
  int note;
};

// The three channel factors for t in 0..1, in double precision.
void channel_factors(double t, double f[3]) {
  f[0] = t <= 0.5 ? 2.0 * t : 2.0 * (1.0 - t);
  f[1] = t <= 0.25 ? 4.0 * t : 4.0 * (1.0 - t);
  f[2] = (t <= 1.0 / 3.0 || t >= 2.0 / 3.0) ? 3.0 * t : 3.0 * (1.0 - t);
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "HUERIOT";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr, SEQFX_LABEL("Input: 1 strip"));

SEQFX_EXPORT void plugin_seq_doit(void *, float factor0, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect || ibuf1->ysize == 0) return;
  // Counts come from ibuf1; never write past a smaller out.
  const long n = pixels_to_walk(ibuf1, out);

  // The factor is limited to 0..1; not a number counts as 0.
  double f[3];
  channel_factors(unit(factor0), f);

  // v = (F 255 - c) / 2 + 127.5 in double precision, truncated; only the
  // low 8 bits are kept. It depends on the byte alone: one table a channel.
  unsigned char lut[3][256];
  for (int ch = 0; ch < 3; ++ch)
    for (int c = 0; c < 256; ++c)
      lut[ch][c] = (unsigned char)((int)((f[ch] * 255.0 - c) * 0.5 + 127.5) & 0xFF);

  // Alpha is left as the output image holds it.
  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;
  for (long i = 0; i < n; ++i, src += 4, dst += 4) {
    const unsigned char r = lut[0][src[0]], g = lut[1][src[1]], b = lut[2][src[2]];
    dst[0] = r;
    dst[1] = g;
    dst[2] = b;
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
