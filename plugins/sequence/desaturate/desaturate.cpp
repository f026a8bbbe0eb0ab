// desaturate: blends each pixel of one strip with its luma grey by the
// "Amount:" percentage (100 keeps the picture, 0 gives full grey).

#include "seqfx_module.h"

#include <cstdlib>
#include <cstring>

namespace {

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int amount;  // share of the input colour that stays, 0..100
};

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Desaturate";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 1 strip"),
    SEQFX_FIELD(amount, PLUGIN_CODE_SLIDER_INT, "Amount:", 100, 0, 100, ""));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect) return;
  const Params *p = static_cast<const Params *>(params);
  // The pixels are those of ibuf1; out has the same size, but never write
  // past it should a host hand over a smaller one.
  long n = (long)(ibuf1->xsize > 0 ? ibuf1->xsize : 0) * (ibuf1->ysize > 0 ? ibuf1->ysize : 0);
  const long n_out = (long)(out->xsize > 0 ? out->xsize : 0) * (out->ysize > 0 ? out->ysize : 0);
  if (n_out < n) n = n_out;

  // An amount outside the slider's range would push bytes out of 0..255:
  // it is limited to 0..100.
  int amount = p->amount;
  if (amount < 0) amount = 0;
  if (amount > 100) amount = 100;
  const double a = amount / 100.0;

  // Double-precision products of every byte value, so that the sums below
  // are exactly those of the formulas:
  //   grey = (int)(0.299 R + 0.587 G + 0.114 B)
  //   out  = (int)(c a + grey (1 - a))
  // The second depends on the byte and the grey alone: one table of
  // 256 x 256 bytes, made once per call.
  double wr[256], wg[256], wb[256];
  for (int v = 0; v < 256; ++v) {
    wr[v] = 0.299 * v;
    wg[v] = 0.587 * v;
    wb[v] = 0.114 * v;
  }
  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;
  unsigned char *mix = static_cast<unsigned char *>(std::malloc(256 * 256));
  if (!mix) {
    // Without room for the table, the same sums pixel by pixel.
    for (long k = 0; k < n; ++k, src += 4, dst += 4) {
      const double g = (int)(wr[src[0]] + wg[src[1]] + wb[src[2]]) * (1.0 - a);
      const unsigned char px[4] = {(unsigned char)(int)(src[0] * a + g),
                                   (unsigned char)(int)(src[1] * a + g),
                                   (unsigned char)(int)(src[2] * a + g), src[3]};
      std::memcpy(dst, px, 4);
    }
    return;
  }
  for (int grey = 0; grey < 256; ++grey) {
    const double g = grey * (1.0 - a);
    for (int c = 0; c < 256; ++c) mix[grey * 256 + c] = (unsigned char)(int)(c * a + g);
  }

  // At full amount every row of the table is the identity: the frame
  // passes unchanged, and a block copy does it.
  bool identity = true;
  for (int i = 0; i < 256 * 256 && identity; ++i) identity = mix[i] == (i & 255);
  if (identity) {
    if (dst != src) std::memmove(dst, src, (size_t)n * 4);
    std::free(mix);
    return;
  }

  for (long k = 0; k < n; ++k, src += 4, dst += 4) {
    const unsigned char *row = mix + 256 * (int)(wr[src[0]] + wg[src[1]] + wb[src[2]]);
    const unsigned char px[4] = {row[src[0]], row[src[1]], row[src[2]], src[3]};
    std::memcpy(dst, px, 4);
  }
  std::free(mix);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
