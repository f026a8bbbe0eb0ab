// split: two strips in one frame, as left/right halves, bottom/top halves
// or a 2 x 2 checkerboard of quadrants.

#include "seqfx_module.h"
#include "strip_pair.h"

namespace {

using strip_pair::Plane;

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int horizontal;  // bottom/top instead of left/right
  int quadrants;   // "2*2": checkerboard, whatever horizontal says
};

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Split Screen";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 2 strips"),
    SEQFX_FIELD(horizontal, PLUGIN_CODE_TOGGLE, "Horizontal", 0, 0, 1, "Split screen horizontally"),
    SEQFX_FIELD(quadrants, PLUGIN_CODE_TOGGLE, "2*2", 0, 0, 1, "U'll see what U get!"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *ibuf2, ImageBuffer *out, ImageBuffer *) {
  // The inputs are tested before any size is read.
  if (!strip_pair::has_pixels(ibuf1) || !strip_pair::has_pixels(ibuf2) || ibuf1 == ibuf2 ||
      !strip_pair::has_pixels(out))
    return;
  const Params *p = static_cast<const Params *>(params);

  // The split follows ibuf1's size; only what all three images hold is drawn.
  const int X = ibuf1->xsize, Y = ibuf1->ysize;
  const strip_pair::Extent e = strip_pair::covered(X, Y, {ibuf2, out});
  const int left = X - 1 - X / 2, bottom = Y - 1 - Y / 2;
  const Plane a(ibuf1), b(ibuf2), o(out);
  auto cut = [&](int y, const Plane &lo, const Plane &hi) {
    const int mid = left < e.w ? (left > 0 ? left : 0) : e.w;
    strip_pair::copy_span(lo, o, y, 0, mid);
    strip_pair::copy_span(hi, o, y, mid, e.w);
  };

  for (int y = 0; y < e.h; ++y) {
    const bool low = y < bottom;
    if (p->quadrants)
      cut(y, low ? a : b, low ? b : a);  // bottom-left and top-right show ibuf1
    else if (p->horizontal)
      strip_pair::copy_span(low ? a : b, o, y, 0, e.w);
    else
      cut(y, b, a);  // ibuf2 on the left
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
