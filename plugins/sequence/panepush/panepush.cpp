// panepush: a transition in three vertical bands. As factor0 grows the first
// strip slides down out of the two outer bands and up out of the middle
// band, uncovering the second strip.

#include "seqfx_module.h"
#include "strip_pair.h"

namespace {

using seqfx_module::unit;
using strip_pair::Plane;

// One 4-byte slot per table row.
struct Params {
  int label_input;
};

// Copies columns [x0, x1) of source row sy into output row y.
void move_span(const Plane &src, int sy, const Plane &o, int y, int x0, int x1) {
  if (x1 > x0) std::memmove(o.at(x0, y), src.at(x0, sy), 4 * (std::size_t)(x1 - x0));
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Split & Slide 0.2";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr, SEQFX_LABEL("2 strips"));

SEQFX_EXPORT void plugin_seq_doit(void *, float factor0, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *) {
  if (!strip_pair::has_pixels(ibuf1) || !strip_pair::has_pixels(ibuf2) || ibuf1 == ibuf2 ||
      !strip_pair::has_pixels(out))
    return;
  // The frame is the part of width x height that all three images hold, so
  // that every row a band slides in from exists. factor0 outside 0..1 is
  // taken as its nearest end (NaN as 0): the slide never leaves the frame.
  const strip_pair::Extent e = strip_pair::covered(width, height, {ibuf1, ibuf2, out});
  const int W = e.w, H = e.h;
  const int s = (int)(unit(factor0) * (float)H);
  const int T = W / 3, U = W - T;
  const int mid0 = T + 1 < U ? T + 1 : U;  // the middle band is T < c < U
  const Plane a(ibuf1), b(ibuf2), o(out);

  // Output row y reads ibuf1 row y + s in the outer bands and row y - s in
  // the middle one, and ibuf2 only at its own position. Walking the outer
  // bands upwards and the middle band downwards reads every ibuf1 row before
  // it is overwritten, so out may be the very plane of either input.
  for (int y = 0; y < H; ++y) {
    if (y < H - s) {
      move_span(a, y + s, o, y, 0, mid0);
      move_span(a, y + s, o, y, U, W);
    } else {
      strip_pair::copy_span(b, o, y, 0, mid0);
      strip_pair::copy_span(b, o, y, U, W);
    }
  }
  for (int y = H - 1; y >= 0; --y) {
    if (y >= s)
      move_span(a, y - s, o, y, mid0, U);
    else
      strip_pair::copy_span(b, o, y, mid0, U);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
