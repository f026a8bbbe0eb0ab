// iris: a hard-edged circle centred on the frame shows the first strip
// inside and the second outside. With "In" it grows from nothing as factor0
// goes from 0 to 1; without it, it shrinks from the whole frame.

#include "seqfx_module.h"
#include "strip_pair.h"

#include <cmath>

namespace {

using seqfx_module::unit;
using strip_pair::Plane;

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int in;  // grow instead of shrink
};

// The distance of a pixel from the centre, as compared with the radius:
// the hypotenuse in double precision, rounded to single.
inline float dist(int dx, int dy) { return (float)std::hypot((double)std::abs(dx), (double)std::abs(dy)); }

// For one row, the smallest |dx| whose distance is not below R: the pixels
// with |dx| < k are inside. The distance grows with |dx|, so k is found from
// an estimate and settled by the exact comparison on each side.
int inner_reach(int ady, float R, int limit) {
  if (!(dist(0, ady) < R)) return 0;
  const double rr = (double)R * R - (double)ady * ady;
  long k = rr > 0.0 ? (long)std::sqrt(rr) : 0;
  if (k > limit) k = limit;
  while (k < limit && dist((int)k, ady) < R) ++k;
  while (k > 0 && !(dist((int)k - 1, ady) < R)) --k;
  return (int)k;
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Iris";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 2 Strips"),
    SEQFX_FIELD(in, PLUGIN_CODE_TOGGLE, "In", 0, 0, 1, "Iris In"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *) {
  if (!strip_pair::has_pixels(ibuf1) || !strip_pair::has_pixels(ibuf2) || ibuf1 == ibuf2 ||
      !strip_pair::has_pixels(out) || width <= 0 || height <= 0)
    return;
  const Params *p = static_cast<const Params *>(params);
  const int W = width, H = height;
  const int hw = (W + 1) / 2, hh = (H + 1) / 2;
  const double D = std::hypot((double)W, (double)H);
  // factor0 outside 0..1 is taken as its nearest end (NaN as 0).
  const float n = p->in ? 0.0f : 1.0f;
  const float R = (float)(D * 0.5 * std::fabs((double)(n - unit(factor0))));

  // The circle is laid on the whole frame; only what all images hold is drawn.
  const strip_pair::Extent e = strip_pair::covered(W, H, {ibuf1, ibuf2, out});
  const Plane a(ibuf1), b(ibuf2), o(out);
  // No |dx| on the frame exceeds hw, so the reach is bounded by hw + 1.
  const int limit = hw + 1;
  for (int y = 0; y < e.h; ++y) {
    const int dy = (H - 1 - y) - hh;
    const int k = inner_reach(std::abs(dy), R, limit);
    // dx = (W - 1 - x) - hw, so |dx| < k for x0 < x < x1.
    long x0 = (long)W - 1 - hw - k + 1, x1 = (long)W - 1 - hw + k;
    if (k == 0) x0 = x1 = 0;
    if (x0 < 0) x0 = 0;
    if (x1 > e.w) x1 = e.w;
    if (x0 > x1) x0 = x1;
    strip_pair::copy_span(b, o, y, 0, (int)x0);
    strip_pair::copy_span(a, o, y, (int)x0, (int)x1);
    strip_pair::copy_span(b, o, y, (int)x1, e.w);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
