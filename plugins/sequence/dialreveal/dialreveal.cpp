// dialreveal: a clock wipe. A hand anchored at a movable centre turns from
// its start angle as factor0 grows; the sector it has swept, inside a circle,
// shows the first strip and everything else the second.

#include "seqfx_module.h"
#include "strip_pair.h"

#include <cmath>
#include <cstdio>

namespace {

using seqfx_module::unit;
using strip_pair::Plane;

// One 4-byte slot per table row.
struct Params {
  int clockwise;
  float x, y;    // centre offset, -1..1 of the half frame
  int start;     // degrees, counter-clockwise from the right
  float radius;  // share of the frame diagonal
  int rounds;    // turns over the transition
};

// A float limited to lo..hi; not a number counts as nan_value.
inline float limited(float v, float lo, float hi, float nan_value) {
  if (v != v) return nan_value;
  return v < lo ? lo : (v > hi ? hi : v);
}

// Degrees to the hand vector of length r, truncated toward zero.
void hand(int r, int degrees, int &hx, int &hy) {
  const double a = ((double)degrees * 3.141592653589793) / 180.0;
  hx = (int)((double)r * std::cos(a));
  hy = (int)((double)r * std::sin(a));
}

bool present(const ImageBuffer *img, const char *what) {
  if (strip_pair::has_pixels(img)) return true;
  std::printf("dialreveal: no %s!\n", what);
  return false;
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "circle";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_FIELD(clockwise, PLUGIN_CODE_TOGGLE, "Clockwise", 0, 0, 1, "Direction CW or CCW"),
    SEQFX_FIELD(x, PLUGIN_CODE_NUMBER_FLOAT, "X", 0, -1, 1, "X translate for (0,0)"),
    SEQFX_FIELD(y, PLUGIN_CODE_NUMBER_FLOAT, "Y", 0, -1, 1, "Y translate for (0,0)"),
    SEQFX_FIELD(start, PLUGIN_CODE_NUMBER_INT, "Start", 0, 0, 360, "Start angle"),
    SEQFX_FIELD(radius, PLUGIN_CODE_NUMBER_FLOAT, "Radius", 0.5f, 0, 1, "Radius of the circle"),
    SEQFX_FIELD(rounds, PLUGIN_CODE_NUMBER_INT, "Rounds", 1, 1, 10, "Number of rounds"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float factor1, int width,
                                  int height, ImageBuffer *ibuf1, ImageBuffer *ibuf2,
                                  ImageBuffer *out, ImageBuffer *) {
  // Both strips are read: a missing one is named and the output left as it is.
  bool ok = present(ibuf1, "ibuf1");
  ok = present(ibuf2, "ibuf2") && ok;
  ok = present(out, "output image") && ok;
  if (!ok || width <= 0 || height <= 0) return;
  const Params *p = static_cast<const Params *>(params);
  const int W = width, H = height;

  // Values a host may write beyond the widgets' ranges are brought back to
  // them: the centre offsets and the radius to their bounds (not a number
  // to the default), the rounds to 1..10, a start angle outside 0..360 to
  // the same direction within 0..359, and factor0 to 0..1 (NaN as 0).
  const float X = limited(p->x, -1, 1, 0), Y = limited(p->y, -1, 1, 0);
  const float radius = limited(p->radius, 0, 1, 0.5f);
  const int rounds = p->rounds < 1 ? 1 : (p->rounds > 10 ? 10 : p->rounds);
  int start = p->start;
  if (start < 0 || start > 360) start = (start % 360 + 360) % 360;
  const float f = unit(factor0);

  // The centre from ibuf1's size, integer halves turned to float.
  const float half_w = (float)(ibuf1->xsize / 2), half_h = (float)(ibuf1->ysize / 2);
  const int cx = (int)(half_w + half_w * X), cy = (int)(half_h + half_h * Y);

  const bool cw = p->clockwise != 0;
  const int end = (int)((float)start + f * (float)(360 * rounds) * (float)(cw ? -1 : 1));
  const int diagonal = (int)std::sqrt((double)((long long)W * W + (long long)H * H));
  const int r = (int)((float)diagonal * radius);
  int sx, sy, ex, ey;
  hand(r, start, sx, sy);
  hand(r, end, ex, ey);
  const float fsx = (float)sx, fsy = (float)sy, fex = (float)ex, fey = (float)ey;
  const float cs = fsx * fey - fsy * fex;
  const bool wide = cs < 0.0f;  // the sweep is wider than half a turn
  const bool reveal = f != 0.0f && factor1 != 0.0f;

  // The hand is laid on the whole frame; only what all images hold is drawn.
  const strip_pair::Extent e = strip_pair::covered(W, H, {ibuf1, ibuf2, out});
  const Plane a(ibuf1), b(ibuf2), o(out);
  // (int)sqrt(q) > r for a whole q below 2^52 exactly when q >= (r + 1)^2.
  const long long reach = ((long long)r + 1) * ((long long)r + 1);
  for (int y = 0; y < e.h; ++y) {
    if (!reveal) {
      strip_pair::copy_span(b, o, y, 0, e.w);
      continue;
    }
    const int dy = y - cy;
    const float fdy = (float)dy;
    for (int x = 0; x < e.w; ++x) {
      const int dx = x - cx;
      bool inside = false;
      if ((long long)dx * dx + (long long)dy * dy < reach) {
        const float fdx = (float)dx;
        const float cp = fsx * fdy - fsy * fdx;
        const float ce = fex * fdy - fey * fdx;
        inside = wide ? (cp > 0.0f || ce < 0.0f) : (cp > 0.0f && ce < 0.0f);
        if (cw) inside = !inside;
      }
      strip_pair::use_ibuf((inside ? a : b).at(x, y), o.at(x, y));
    }
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
