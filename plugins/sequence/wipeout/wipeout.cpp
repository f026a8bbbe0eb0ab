// wipeout: mixes two strips through a third used as a per-channel matte.

#include "seqfx_module.h"

#include "matte_mix.h"

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

  // "mask negative" lets the matte select the second strip instead.
  const unsigned char *a = p->negative ? ibuf2->rect : ibuf1->rect;
  const unsigned char *b = p->negative ? ibuf1->rect : ibuf2->rect;
  wipeout::mix(a, b, ibuf3->rect, out->rect, 4 * n);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
