// spin: rotates and zooms the first strip about a centre point, optionally
// as a spiral, or spins it away while the second strip spins in and the
// two are cross-faded. Every output pixel is mapped back to the source in
// polar coordinates about the centre.

#include "seqfx_module.h"
#include "frame_fit.h"
#include "clamps.h"
#include "blend_lanes.h"
#include "cells.h"
#include "polar_cache.h"
#include "fetch_ahead.h"
#include "fetch_lines.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using seqfx_common::low_byte;

// One 4-byte slot per table row.
struct Params {
  int label_in;
  float degrees, scale;
  int animate, crossfade, spiral;
  int label_outside;
  float red, green, blue;
  int style;  // outside style
  int centre_x, centre_y;
  int interpolate;
};

constexpr double kDegree = 0.017453292519943295;  // pi / 180

enum Style { kSolid = 0, kRectangular = 1, kRadial = 2, kWrap = 3 };

// Points further out than this many frame sizes are first brought back
// with an exact remainder, so that wrapping takes a bounded number of steps.
constexpr double kWrapReach = 1024.0;

// Side of the square tiles the output is computed in.
constexpr int kTile = 32;

// The frame-wide state of one call.
struct Frame {
  const unsigned char *src;
  int width, height;
  double w1, h1;               // width - 1, height - 1
  double cx, cy;               // the centre
  const spin::PolarCache *angles;  // the angles kept between calls, or null
  int style;
  bool interpolate;
  unsigned char outcol[4];
};

// The rotation and zoom of one strip.
struct Turn {
  double deg;  // radians, or radians per pixel of radius when spiralling
  double sc;   // zoom: above 1 magnifies
};

// The four channels of a pixel as doubles, two lanes at a time.
typedef double V2d __attribute__((vector_size(16)));
struct Channels {
  V2d rg, ba;
};

inline Channels channels(const unsigned char *px) {
  return {V2d{(double)px[0], (double)px[1]}, V2d{(double)px[2], (double)px[3]}};
}
inline Channels operator*(Channels c, double w) { return {c.rg * w, c.ba * w}; }
inline Channels operator+(Channels a, Channels b) { return {a.rg + b.rg, a.ba + b.ba}; }

// R, G, B truncated toward zero (all within 0 .. 255), A = 0.
inline void store_rgb(Channels v, unsigned char *o) {
  o[0] = (unsigned char)(int)v.rg[0];
  o[1] = (unsigned char)(int)v.rg[1];
  o[2] = (unsigned char)(int)v.ba[0];
  o[3] = 0;
}

// The weighted sum of the pixel p and its right and upper neighbours
// (rows of width pixels) that the fractions pick: along y only, along x
// only, or both ways. The channels are weighed side by side, each lane
// with the same double operations in the same order as one channel alone.
inline Channels weigh(const unsigned char *p, int width, double fx, double fy, bool bx, bool by) {
  const unsigned char *up = p + 4 * (std::size_t)width;
  if (!bx) return channels(p) * (1 - fy) + channels(up) * fy;
  if (!by) return channels(p) * (1 - fx) + channels(p + 4) * fx;
  return channels(p) * (1 - fx) * (1 - fy) + channels(p + 4) * fx * (1 - fy) +
         channels(up) * (1 - fx) * fy + channels(up + 4) * fx * fy;
}

// Adds or subtracts the frame size until v lies in 0 .. size.
inline double wrap(double v, int size) {
  if (!std::isfinite(v)) return v;  // left to the clamp
  const double n = size;
  if (std::fabs(v) > kWrapReach * n) v = std::fmod(v, n);
  while (v < 0) v += n;
  while (v >= n) v -= n;
  return v;
}

// Pulls an outside point back along the ray from the centre onto the
// border, whose far sides are width and height.
__attribute__((noinline)) void pull_back(const Frame &f, double &sx, double &sy) {
  if (std::isnan(sx) || std::isnan(sy)) return;
  const bool xo = sx < 0 || sx > f.w1, yo = sy < 0 || sy > f.h1;
  double tx = 0, ty = 0;
  if (sx < 0) tx = (f.cx - sx) / f.cx;
  else if (sx > f.w1) tx = (sx - f.cx) / (f.width - f.cx);
  if (sy < 0) ty = (f.cy - sy) / f.cy;
  else if (sy > f.h1) ty = (sy - f.cy) / (f.height - f.cy);
  const double t = xo && yo ? (tx > ty ? tx : ty) : (xo ? tx : ty);
  const double px = (sx - f.cx) / t + f.cx, py = (sy - f.cy) / t + f.cy;
  // A centre on the border makes t zero or infinite and the division
  // meaningless: the point is then left where it is and the clamp extends
  // the edge pixels instead.
  if (std::isfinite(px) && std::isfinite(py)) {
    sx = px;
    sy = py;
  }
}

// Samples the source at (sx, sy) into o.
__attribute__((always_inline)) inline void sample(const Frame &f, double sx, double sy,
                                                  unsigned char *o) {
  // A point that is not a number counts as outside.
  if (!(sx >= 0 && sx <= f.w1 && sy >= 0 && sy <= f.h1)) {
    if (f.style == kSolid) {
      std::memcpy(o, f.outcol, 4);
      return;
    }
    if (f.style == kRadial) {
      pull_back(f, sx, sy);
    } else if (f.style == kWrap) {
      sx = wrap(sx, f.width);
      sy = wrap(sy, f.height);
    }
  }
  // Clamp, with a point that is not a number going to 0.
  if (!(sx >= 0)) sx = 0;
  else if (sx > f.w1) sx = f.w1;
  if (!(sy >= 0)) sy = 0;
  else if (sy > f.h1) sy = f.h1;

  const int ix = (int)sx, iy = (int)sy;
  const unsigned char *p = f.src + 4 * ((std::size_t)iy * f.width + ix);
  if (!f.interpolate) {
    std::memcpy(o, p, 4);
    return;
  }
  const double fx = sx - ix, fy = sy - iy;
  const bool bx = fx >= 0.01, by = fy >= 0.01;
  if (!bx && !by) {
    std::memcpy(o, p, 4);
    return;
  }
  // The clamp and the threshold keep the neighbours inside the source.
  store_rgb(weigh(p, f.width, fx, fy, bx, by), o);
}

// The source point of an output pixel for one strip: it lies at the output
// pixel's own angle phi turned by deg (by r * deg when spiralling) and at
// r / sc from the centre, r being the output pixel's distance from it.
inline void source_point(const Frame &f, const Turn &t, bool spiral, double r, double phi,
                         double &sx, double &sy) {
  const double theta = spiral ? phi + r * t.deg : phi + t.deg;
  const double rs = t.sc == 1.0 ? r : r / t.sc;  // the same value, without a division
  sx = rs * std::cos(theta) + f.cx;
  sy = rs * std::sin(theta) + f.cy;
}

// The polar coordinates of a run of output pixels about the centre.
struct Polar {
  int n;
  double r[kTile], phi[kTile];
};

// Where the angle of output pixel (x, y) is kept, or null.
inline spin::AngleSlot phi_slot(const Frame &f, int x, int y) {
  return f.angles ? f.angles->at(x, y) : spin::AngleSlot{nullptr, false};
}

inline void polar(const Frame &f, int x0, int x1, int y, Polar &pc) {
  const double dy = y - f.cy, dy2 = dy * dy;
  pc.n = x1 - x0;
  int i = 0;
#if defined(__SSE2__)
  // Two at a time: the square root is exact either way.
  for (; i + 2 <= pc.n; i += 2) {
    const __m128d dx = _mm_sub_pd(_mm_setr_pd(x0 + i, x0 + i + 1), _mm_set1_pd(f.cx));
    _mm_storeu_pd(pc.r + i, _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(dx, dx), _mm_set1_pd(dy2))));
  }
#endif
  for (; i < pc.n; ++i) {
    const double dx = (x0 + i) - f.cx;
    pc.r[i] = std::sqrt(dx * dx + dy2);
  }
  spin::AngleSlot s = phi_slot(f, x0, y);
  if (!s.slot) {
    for (int i = 0; i < pc.n; ++i) pc.phi[i] = std::atan2(dy, (x0 + i) - f.cx);
    return;
  }
  for (int i = 0; i < pc.n; ++i, ++s.slot) pc.phi[i] = spin::angle(s, dy, (x0 + i) - f.cx);
}

// The source point of output pixel (x, y) the polar way, with the same
// operations as polar() and dowork for a run.
inline void polar_point(const Frame &f, const Turn &t, bool spiral, int x, int y, double &sx,
                        double &sy) {
  const double dx = x - f.cx, dy = y - f.cy;
  const double r = std::sqrt(dx * dx + dy * dy), phi = spin::angle(phi_slot(f, x, y), dy, dx);
  source_point(f, t, spiral, r, phi, sx, sy);
}

// Samples n source points into the pixels from o on. Interpolated points
// go four or eight at a time where the processor allows (those outside the
// source one by one with radial extend and wrap); when the output shares
// memory with the source (in_order) each pixel is finished before the next
// is read.
inline void sample_run(const Frame &f, const double *sx, const double *sy, int n,
                       bool in_order, unsigned char *o) {
  int i = 0;
  const spin::Outside outside = f.style == kSolid    ? spin::Outside::kColour
                                : f.style == kRadial || f.style == kWrap ? spin::Outside::kStop
                                                                         : spin::Outside::kClamp;
  if (f.interpolate && !in_order)
    while (i < n) {
      i += spin::blend_points(f.src, f.width, f.height, sx + i, sy + i, n - i, outside,
                              f.outcol, o + 4 * i);
      // The block of four with a point outside, or the last few points.
      const int e = i + 4 < n ? i + 4 : n;
      for (; i < e; ++i) sample(f, sx[i], sy[i], o + 4 * i);
    }
  for (; i < n; ++i) sample(f, sx[i], sy[i], o + 4 * i);
}

// A run of output pixels sampled from one strip. The source points of the
// run are found first, then sampled, so that the reads of the source
// overlap instead of each waiting behind the trigonometry.
inline void dowork(const Frame &f, const Turn &t, bool spiral, const Polar &pc, bool in_order,
                   unsigned char *o) {
  double sx[kTile], sy[kTile];
  for (int i = 0; i < pc.n; ++i) source_point(f, t, spiral, pc.r[i], pc.phi[i], sx[i], sy[i]);
  sample_run(f, sx, sy, pc.n, in_order, o);
}

// A turn without spiral only needs the source point in a form that decides
// the same pixels, fractions and truncations as the polar mapping. The
// point (x - cx, y - cy) turned by deg and shrunk by sc is found with the
// turn's sine and cosine, once per frame; it differs from the polar mapping
// only by rounding. Both start from exact integers dx, dy; the polar one
// rounds r (sqrt: 1.5 ulp), phi (atan2: a few ulp of at most pi), theta =
// phi + deg (half an ulp of at most 64 + pi, that is 68 * 2^-53 absolute),
// cos and sin (a few ulp), r / sc, the product and the sum with the
// centre; the straight one rounds the sine and cosine, four products, a
// difference and the sum. Together they stay below 120 * 2^-53 (1.4e-14)
// of the magnitudes in play, the distance r / sc and the centre, and
// margin is 1e-12 of a bound on those: more than 70 times the difference.
// A point farther than margin from every pixel edge lies in the same pixel
// either way, and the outside test and the clamp treat it alike; a point
// that close to an edge is mapped the polar way.
//
// With interpolation the fractions fx, fy of the two mappings differ by
// less than margin as well (the subtraction of the integer part is exact),
// so a fraction farther than margin from the 0.01 threshold picks the same
// weights. The weighted sum v is bilinear in fx and fy with channel values
// of at most 255, so it moves by at most 255 |dfx| + 255 |dfy| + 510 |dfx
// dfy| < 512 margin (margin below 1/255), plus the rounding of the two
// evaluations (a handful of roundings of values up to 255 each, together
// below 1e-12): a sum farther than that bound from every integer above
// zero truncates alike. Sums are never negative, so nothing is in doubt just
// above zero. A pixel in doubt anywhere is mapped the polar way.
struct Straight {
  double c, s, inv_sc, margin, vdoubt;
};

bool straight(const Frame &f, const Turn &t, bool spiral, Straight &st) {
  if (spiral || f.style == kRadial || f.style == kWrap) return false;
  // Large angles lose digits in phi + deg, and zooms that are not finite
  // or positive leave the mapping undefined: those keep the polar way.
  if (!(std::fabs(t.deg) <= 64.0) || !(t.sc > 0.0) || !std::isfinite(t.sc)) return false;
  st.c = std::cos(t.deg);
  st.s = std::sin(t.deg);
  st.inv_sc = 1.0 / t.sc;
  // The farthest output pixel lies within |cx| + |cy| + width + height of
  // the centre; over sc that bounds the distance of every source point.
  const double reach = (std::fabs(f.cx) + std::fabs(f.cy) + f.width + f.height) * st.inv_sc;
  st.margin = 1e-12 * (2.0 * reach + std::fabs(f.cx) + std::fabs(f.cy) + 1.0);
  st.vdoubt = 512.0 * st.margin + 1e-12;
  return std::isfinite(st.margin) && st.margin < (f.interpolate ? 0.001 : 0.25);
}

// One output pixel the polar way, as dowork does it.
void polar_pixel(const Frame &f, const Turn &t, int x, int y, unsigned char *o) {
  double sx, sy;
  polar_point(f, t, false, x, y, sx, sy);
  sample(f, sx, sy, o);
}

// The source points of a run of output pixels, found the straight way.
inline void straight_points(const Frame &f, const Straight &st, int x0, int n, int y,
                            double *sx, double *sy) {
  const double dy = y - f.cy;
  const double ys = dy * st.s, yc = dy * st.c;
  for (int i = 0; i < n; ++i) {
    const double dx = (x0 + i) - f.cx;
    sx[i] = (dx * st.c - ys) * st.inv_sc + f.cx;
    sy[i] = (yc + dx * st.s) * st.inv_sc + f.cy;
  }
}

// A run of output pixels sampled whole: only the pixel each point falls in
// matters. Pixels in doubt are mapped the polar way where they stand, so
// the run is still finished pixel by pixel in order.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target_clones("avx2", "default")))
#endif
void straight_whole_run(const Frame &f, const Turn &t, const Straight &st, int x0, int x1,
                        int y, unsigned char *o) {
  double sx[kTile], sy[kTile];
  int code[kTile];
  const int n = x1 - x0;
  if (n <= 0) return;
  straight_points(f, st, x0, n, y, sx, sy);
  spin::locate_whole(sx, sy, n, st.margin, f.width, f.height, f.style == kSolid, code);
  for (int i = 0; i < n; ++i, o += 4) {
    if (code[i] >= 0) std::memcpy(o, f.src + 4 * (std::size_t)code[i], 4);
    else if (code[i] == spin::kOutsideColour) std::memcpy(o, f.outcol, 4);
    else polar_pixel(f, t, x0 + i, y, o);
  }
}

// Whether a weighted sum might truncate otherwise under the polar mapping.
inline bool in_doubt(double v, double bound) {
  const int k = (int)v;
  return (k > 0 && v - k <= bound) || k + 1 - v <= bound;
}

// The interpolation of sample() from fractions known to pick the same
// weights and truncations as the polar mapping; false when a sum is in
// doubt and nothing was written.
inline bool blend(const Frame &f, const Straight &st, const unsigned char *p, double fx,
                  double fy, unsigned char *o) {
  const bool bx = fx >= 0.01, by = fy >= 0.01;
  if (!bx && !by) {
    std::memcpy(o, p, 4);
    return true;
  }
  const Channels v = weigh(p, f.width, fx, fy, bx, by);
  if (in_doubt(v.rg[0], st.vdoubt) || in_doubt(v.rg[1], st.vdoubt) ||
      in_doubt(v.ba[0], st.vdoubt))
    return false;
  store_rgb(v, o);
  return true;
}

// A run of output pixels interpolated from the straight source points. The
// pixels in doubt are gathered and then mapped the polar way together, so
// that their library calls overlap as in dowork; when the output shares
// memory with the source (in_order), every pixel is finished before the
// next is read, as dowork does. Returns how many pixels were in doubt.
int straight_blend_run(const Frame &f, const Turn &t, const Straight &st, int x0, int x1, int y,
                       bool in_order, unsigned char *o) {
  double sx[kTile], sy[kTile];
  const int n = x1 - x0;
  straight_points(f, st, x0, n, y, sx, sy);
  int doubt[kTile], nd = 0;
  // Close to the 0.01 threshold the weights are in doubt.
  const double lo = 0.01 - st.margin, hi = 0.01 + st.margin;
  for (int i = 0; i < n; ++i) {
    unsigned char *oi = o + 4 * i;
    bool outside = false;
    double fx, fy;
    const int ix = spin::cell(sx[i], st.margin, f.width, outside, fx);
    const int iy = spin::cell(sy[i], st.margin, f.height, outside, fy);
    bool sure = ix >= 0 && iy >= 0;
    if (sure && outside && f.style == kSolid) {
      std::memcpy(oi, f.outcol, 4);
    } else if (sure) {
      const unsigned char *p = f.src + 4 * ((std::size_t)iy * f.width + ix);
      sure = !(fx >= lo && fx <= hi) && !(fy >= lo && fy <= hi) && blend(f, st, p, fx, fy, oi);
    }
    if (sure) continue;
    if (in_order) polar_pixel(f, t, x0 + i, y, oi);
    doubt[nd++] = i;
  }
  if (nd == 0 || in_order) return nd;
  for (int j = 0; j < nd; ++j) polar_point(f, t, false, x0 + doubt[j], y, sx[j], sy[j]);
  unsigned char px[kTile][4];
  sample_run(f, sx, sy, nd, false, px[0]);
  for (int j = 0; j < nd; ++j) std::memcpy(o + 4 * doubt[j], px[j], 4);
  return nd;
}

// One strip's run the straight way, whole pixels or interpolated.
int straight_run(const Frame &f, const Turn &t, const Straight &st, int x0, int x1, int y,
                 bool in_order, unsigned char *o) {
  if (f.interpolate) return straight_blend_run(f, t, st, x0, x1, y, in_order, o);
  straight_whole_run(f, t, st, x0, x1, y, o);
  return 0;
}

// Plans the fetching ahead of the source rows that the tile after the one
// at (tx, ty) reads for one strip, from the source points of its corners
// and middle.
void plan_next_tile(const Frame &f, const Turn &t, bool spiral, const unsigned char *src, int tx,
                    int ty, int steps, spin::FetchAhead &ahead) {
  int nx = tx + kTile, ny = ty;
  if (nx >= f.width) {
    nx = 0;
    ny += kTile;
  }
  if (ny >= f.height) {  // the last tile: nothing follows
    ahead.clear();
    return;
  }
  const int nxe = (nx + kTile < f.width ? nx + kTile : f.width) - 1;
  const int nye = (ny + kTile < f.height ? ny + kTile : f.height) - 1;
  const int px[5] = {nx, nxe, nx, nxe, (nx + nxe) / 2};
  const int py[5] = {ny, ny, nye, nye, (ny + nye) / 2};
  double sx[5], sy[5];
  for (int k = 0; k < 5; ++k) polar_point(f, t, spiral, px[k], py[k], sx[k], sy[k]);
  ahead.plan(src, f.width, f.height, sx, sy, 5, steps);
}

// The kept angles of a tile's row are asked for this many rows before the
// row is computed: each row's angles lie in a page of their own, which the
// processor does not fetch ahead by itself.
constexpr int kAnglesAhead = 2;

__attribute__((always_inline)) inline void fetch_angles(const Frame &f, int x0, int x1, int y) {
  if (f.angles) seqfx_common::fetch_lines(f.angles->at(x0, y).slot, 8L * (x1 - x0));
}

// Whether two pixel planes of n pixels share any byte.
bool overlap(const unsigned char *a, const unsigned char *b, std::size_t n) {
  const std::uintptr_t pa = (std::uintptr_t)a, pb = (std::uintptr_t)b, len = 4 * n;
  return pa < pb + len && pb < pa + len;
}

// Chooses per run between the straight and the polar way for one strip.
// Pictures whose channels are flat over neighbouring pixels leave nearly
// every interpolated sum in doubt (a flat channel sums to its value up to
// rounding), and then the straight attempt is wasted work: after a run
// with most pixels in doubt the next runs go the polar way, 31 of them,
// twice as many after each further attempt that fails (up to 1023), and
// 31 again after one that succeeds. Either way gives the same bytes.
struct Chooser {
  bool usable;
  int polar_runs = 0, wait = 31;
  bool straight_now() const { return usable && polar_runs == 0; }
  void after(int doubt, int n) {
    if (polar_runs > 0) {
      --polar_runs;
    } else if (2 * doubt > n) {
      polar_runs = wait;
      wait = wait < 1023 ? 2 * wait + 1 : 1023;
    } else {
      wait = 31;
    }
  }
};

// The angles of the last frame size and centre, for the frames that follow.
spin::PolarCache angles;

}  // namespace

extern "C" {
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("IN: 1 or 2"),
    SEQFX_FIELD(degrees, PLUGIN_CODE_NUMBER_FLOAT, "Degrees:", 360, -1080, 1080,
                "Number of degrees to rotate NB: +ve is CW, -ve is CCW"),
    SEQFX_FIELD(scale, PLUGIN_CODE_NUMBER_FLOAT, "Scale:", 1, 0, 10, "Zoom in/out on picture"),
    SEQFX_FIELD(animate, PLUGIN_CODE_TOGGLE, "Animate", 1, 0, 1,
                "Multiply Degree and Scale by IPO value"),
    SEQFX_FIELD(crossfade, PLUGIN_CODE_TOGGLE, "Crossfade", 0, 0, 1, "Use second strip"),
    SEQFX_FIELD(spiral, PLUGIN_CODE_TOGGLE, "Spiral", 1, 0, 1, "Multiply Degree by radius"),
    SEQFX_LABEL("Outside Colour"),
    SEQFX_FIELD(red, PLUGIN_CODE_SLIDER_FLOAT, "R", 0.5, 0, 1,
                "Outside colour to use if style = 0"),
    SEQFX_FIELD(green, PLUGIN_CODE_SLIDER_FLOAT, "G", 0.5, 0, 1,
                "Outside colour to use if style = 0"),
    SEQFX_FIELD(blue, PLUGIN_CODE_SLIDER_FLOAT, "B", 0.5, 0, 1,
                "Outside colour to use if style = 0"),
    SEQFX_FIELD(style, PLUGIN_CODE_NUMBER_INT, "Outside Style:", 1, 0, 3,
                "0: solid colour 1: rectangular extend 2: radial extend 3: wrap"),
    SEQFX_FIELD(centre_x, PLUGIN_CODE_NUMBER_INT, "CX", 0, -1024, 1024, "Centre offset"),
    SEQFX_FIELD(centre_y, PLUGIN_CODE_NUMBER_INT, "CY", 0, -1024, 1024, "Centre offset"),
    SEQFX_FIELD(interpolate, PLUGIN_CODE_TOGGLE, "Interpolate", 1, 0, 1,
                "Interpolate (anti-alias) pixels"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  const bool crossfade = p->crossfade != 0;
  // A strip without pixels counts as missing.
  const bool have1 = ibuf1 && ibuf1->rect, have2 = ibuf2 && ibuf2->rect;
  if (crossfade && (!have1 || !have2)) {
    std::printf("Not linked to 2 strips!\n");
    return;
  }
  if (!have1) {
    std::printf("Not linked to a strip!\n");
    return;
  }
  if (!out || !out->rect) return;
  // Records holding fewer pixels than the frame narrow the frame walked.
  seqfx_common::fit_frame(width, height, {ibuf1, out, crossfade ? ibuf2 : nullptr});
  if (width <= 0 || height <= 0) return;

  const float f = factor0, D = p->degrees, S = p->scale;
  Frame fr;
  fr.width = width;
  fr.height = height;
  fr.w1 = width - 1;
  fr.h1 = height - 1;
  // In double: a slot may hold any integer, and the sum must not overflow.
  fr.cx = width / 2 + (double)p->centre_x;
  fr.cy = height / 2 + (double)p->centre_y;
  fr.angles = angles.prepare(width, height, fr.cx, fr.cy) ? &angles : nullptr;
  fr.style = p->style;
  fr.interpolate = p->interpolate != 0;
  fr.outcol[0] = low_byte(p->red * 255);
  fr.outcol[1] = low_byte(p->green * 255);
  fr.outcol[2] = low_byte(p->blue * 255);
  fr.outcol[3] = 0;

  Turn t1, t2;
  if (p->animate) {
    t1.deg = (f * D) * kDegree;
    t2.deg = ((f - 1) * D) * kDegree;
    t1.sc = std::pow((double)S, (double)f);
    t2.sc = std::pow((double)(1 / S), 1.0 - f);
  } else {
    t1.deg = D * kDegree;
    t2.deg = -D * kDegree;
    t1.sc = S;
    t2.sc = 1 / S;
  }
  // Scale 0 makes a zoom of 0 or of infinity: the source points become
  // infinite, not a number, or the centre itself. Such points count as
  // outside and are clamped, so the picture shrinks to nothing (outside
  // colour or extended edge) or grows to its centre pixel.
  const bool spiral = p->spiral != 0;
  if (spiral) {
    // A frame one pixel wide has no half width; the angle then applies
    // per pixel of radius.
    const int half = width / 2 > 0 ? width / 2 : 1;
    t1.deg /= half;
    t2.deg /= half;
  }

  const unsigned char *src1 = ibuf1->rect;
  const unsigned char *src2 = crossfade ? ibuf2->rect : nullptr;
  Straight st1, st2;
  Chooser way1{straight(fr, t1, spiral, st1)};
  Chooser way2{crossfade && straight(fr, t2, spiral, st2)};
  // Without cross-fade the output is written as the source is read: when
  // the two share memory, the pixels must be finished in order.
  const std::size_t frame = (std::size_t)width * height;
  const bool in_order = !crossfade && overlap(out->rect, src1, frame);
  spin::FetchAhead ahead1, ahead2;
  // Every output pixel depends on its own position only, so the frame is
  // walked in tiles: a tile's source points stay close together, where
  // whole rows would scatter them across the source.
  for (int ty = 0; ty < height; ty += kTile)
    for (int tx = 0; tx < width; tx += kTile) {
      const int ye = ty + kTile < height ? ty + kTile : height;
      const int xe = tx + kTile < width ? tx + kTile : width;
      plan_next_tile(fr, t1, spiral, src1, tx, ty, ye - ty, ahead1);
      if (crossfade) plan_next_tile(fr, t2, spiral, src2, tx, ty, ye - ty, ahead2);
      for (int y = ty; y < ty + kAnglesAhead && y < ye; ++y) fetch_angles(fr, tx, xe, y);
      for (int y = ty; y < ye; ++y) {
        if (y + kAnglesAhead < ye) fetch_angles(fr, tx, xe, y + kAnglesAhead);
        ahead1.step();
        if (crossfade) ahead2.step();
        unsigned char *o = out->rect + 4 * ((std::size_t)y * width + tx);
        const bool straight1 = way1.straight_now(), straight2 = way2.straight_now();
        Polar pc;
        pc.n = 0;
        if (!straight1 || (crossfade && !straight2)) polar(fr, tx, xe, y, pc);
        fr.src = src1;
        unsigned char a[kTile][4], b[kTile][4];
        unsigned char *first = crossfade ? a[0] : o;
        if (straight1) way1.after(straight_run(fr, t1, st1, tx, xe, y, in_order, first), xe - tx);
        else {
          dowork(fr, t1, spiral, pc, in_order, first);
          way1.after(0, xe - tx);
        }
        if (!crossfade) continue;
        fr.src = src2;
        if (straight2) way2.after(straight_run(fr, t2, st2, tx, xe, y, false, b[0]), xe - tx);
        else {
          dowork(fr, t2, spiral, pc, false, b[0]);
          way2.after(0, xe - tx);
        }
        for (int i = 0; i < xe - tx; ++i, o += 4) {
          for (int c = 0; c < 3; ++c) o[c] = low_byte(a[i][c] + (b[i][c] - a[i][c]) * f);
          o[3] = 0;
        }
      }
    }
}

SEQFX_STANDARD_ENTRIES("Spin", varstr, cfra, plugin_seq_doit)
