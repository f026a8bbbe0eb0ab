// wipeout: mixes two strips through a third used as a per-channel matte.

#include "seqfx_module.h"

#include <cstdio>
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
  for (long i = 0; i < 4 * n; ++i)
    dst[i] = (unsigned char)(int)(byte[a[i]] * m[c[i]] + byte[b[i]] * rest[c[i]]);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
