// warp: displaces the pixels of the first strip by amounts read from the
// second strip, a displacement map: its mean brightness moves a pixel along
// the diagonal, or ("Color") red and green give separate horizontal and
// vertical amounts. Source positions off the picture are clamped to the
// border or ("Wrap") folded back into it.

#include "saturate.h"
#include "seqfx_module.h"
#include "stable_source.h"

#include <cmath>
#include <cstring>

namespace {

using seqfx_common::trunc_int;

// One 4-byte slot per table row.
struct Params {
  int label_in;
  float warp_x, warp_y;         // rows 1, 2: fractions of the frame size
  int color, wrap, animated;    // rows 3..5
};

// The displacement of every map value, already multiplied by the frame-wide
// scale: x[v] = dx(v) * ax and y[v] = dy(v) * ay in single precision. v is
// R + G + B for the brightness map, and R (for x) or G (for y) in colour.
struct Offsets {
  float x[766], y[766];
};

// The part of the map value that moves a pixel: brightness 0..1, or a
// channel about mid-grey, -0.498..0.502. Integer difference, double
// division, kept as a float.
inline float brightness(int sum) { return (float)(sum / (255.0 * 3)); }
inline float centred(int byte) { return (float)((byte - 127) / 255.0); }

void fill_offsets(Offsets &o, bool color, float ax, float ay) {
  for (int v = 0; v <= 765; ++v) {
    const float d = color ? centred(v < 256 ? v : 0) : brightness(v);
    o.x[v] = d * ax;
    o.y[v] = d * ay;
  }
}

// Edge rules for a source column or row c of an image n long (n > 0).
inline int clamped(int c, int n) { return c < 0 ? 0 : (c >= n ? n - 1 : c); }
// A negative position is folded back from the near edge (-3 gives 3), one at
// or past the far edge wraps round to the near one (n + 3 gives 3).
inline int wrapped(int c, int n) {
  if (c < 0) return -(c % n);
  return c < n ? c : c % n;
}

constexpr int kStrip = 256;

// The images of one call and the rules for reading them.
struct Rows {
  const unsigned char *src;
  int sw, sh;
  const unsigned char *map;
  int mw, mh;
  unsigned char *dst;
  int ow;
  bool color, wrap;
  int still;  // the map value that moves nothing
  bool moderate;

  void strip(const Offsets &off, int x0, int x1, int rows) const {
    if (color)
      wrap ? strip<true, true>(off, x0, x1, rows) : strip<true, false>(off, x0, x1, rows);
    else
      wrap ? strip<false, true>(off, x0, x1, rows) : strip<false, false>(off, x0, x1, rows);
  }

  template <bool COLOR, bool WRAP>
  void strip(const Offsets &off, int x0, int x1, int rows) const {
    for (int y = 0; y < rows; ++y) {
      const unsigned char *mrow = y < mh ? map + 4 * (long)y * mw : nullptr;
      const int mx1 = mrow ? (x1 < mw ? x1 : mw) : x0;
      unsigned char *drow = dst + 4 * (long)y * ow;
      const float fy = (float)y;
      for (int x = x0; x < x1; ++x) {
        int vx = still, vy = still;
        if (x < mx1) {
          const unsigned char *m = mrow + 4 * x;
          if (COLOR) {
            vx = m[0];
            vy = m[1];
          } else {
            vx = vy = m[0] + m[1] + m[2];
          }
        }
        const float fx = (float)x - off.x[vx], fyy = fy - off.y[vy];
        int sx = moderate ? (int)fx : trunc_int(fx);
        int sy = moderate ? (int)fyy : trunc_int(fyy);
        if (WRAP) {
          sx = wrapped(sx, sw);
          sy = wrapped(sy, sh);
        } else {
          sx = clamped(sx, sw);
          sy = clamped(sy, sh);
        }
        std::memcpy(drow + 4 * x, src + 4 * ((long)sy * sw + sx), 4);
      }
    }
  }
};

// A scale that is not finite (a slot or factor no slider can give) moves
// nothing.
inline float finite_or_zero(float v) { return std::isfinite(v) ? v : 0.0f; }

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Warp";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 2 strips"),
    SEQFX_FIELD(warp_x, PLUGIN_CODE_SLIDER_FLOAT, "Warp X", 0.3f, -1, 1, "Horizontal displacement"),
    SEQFX_FIELD(warp_y, PLUGIN_CODE_SLIDER_FLOAT, "Warp Y", 0.3f, -1, 1, "Vertical displacement"),
    SEQFX_FIELD(color, PLUGIN_CODE_TOGGLE, "Color", 0, 0, 1,
                "Use red/green values to control x and y displacement"),
    SEQFX_FIELD(wrap, PLUGIN_CODE_TOGGLE, "Wrap", 0, 0, 1, "Wrap around the edges"),
    SEQFX_FIELD(animated, PLUGIN_CODE_TOGGLE, "Animated", 0, 0, 1,
                "Multiply displacement values by IPO value"));

// Frame positions outside `out` are not written, and a map smaller than the
// frame moves the pixels it does not cover by nothing. The source is read by
// its own size, so its edge rules keep every read inside it.
SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *) {
  if (!ibuf1 || !ibuf2 || !out || !ibuf1->rect || !ibuf2->rect || !out->rect) return;
  const int sw = ibuf1->xsize, sh = ibuf1->ysize;
  if (sw <= 0 || sh <= 0) return;
  const Params *p = static_cast<const Params *>(params);

  float ax = p->warp_x * (float)width, ay = p->warp_y * (float)height;
  if (p->animated) {
    ax *= factor0;
    ay *= factor0;
  }
  const bool color = p->color != 0, wrap = p->wrap != 0;
  Offsets off;
  fill_offsets(off, color, finite_or_zero(ax), finite_or_zero(ay));

  seqfx_common::StableSource source(ibuf1, out, "Warp");
  const unsigned char *src = source.pixels();
  if (!src) return;
  const unsigned char *map = ibuf2->rect;
  const int mw = ibuf2->xsize > 0 ? ibuf2->xsize : 0, mh = ibuf2->ysize > 0 ? ibuf2->ysize : 0;
  const int ow = out->xsize;
  const int cols = width < ow ? width : ow;
  const int rows = height < out->ysize ? height : out->ysize;
  const int still_x = color ? 127 : 0;

  // Amounts this small keep every source position well inside the int
  // range, so it needs no saturation.
  const bool moderate = std::fabs(ax) < 1e9f && std::fabs(ay) < 1e9f;
  const Rows r{src, sw, sh, map, mw, mh, out->rect, ow, color, wrap, still_x, moderate};
  // Columns in strips, so that the source pixels a strip reads stay in the
  // cache from one row to the next.
  for (int x0 = 0; x0 < cols; x0 += kStrip)
    r.strip(off, x0, cols - x0 < kStrip ? cols : x0 + kStrip, rows);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
