// tonecut: keys the first strip over the second by closeness to a key
// colour in this module's own YUV space, with per-channel tolerances and
// switches, a soft blend ramp and debug views of the Y, U and V planes.

#include "seqfx_module.h"
#include "fetch_lines.h"
#include "key_mix.h"
#include "yuv_planes.h"

#include <cstdio>

namespace {

using seqfx_module::pixel_count;

// Pixels converted to planes at a time: small enough to stay in the
// nearest cache between the conversion and the keying, and a multiple of
// eight, so that the keying's groups of four keep their places counted
// from the frame's first pixel.
constexpr long kRun = 256;

// Both strips' pixels kAhead runs on are asked for while this run is keyed:
// the background is first read by the keying (about a twentieth of a
// 1080p frame's time).
constexpr long kAhead = 2;

// Forced inline, as fetch_lines is.
__attribute__((always_inline)) inline void fetch_ahead(const unsigned char *fg, const unsigned char *bg, long from,
                                                      long n) {
  if (from >= n) return;
  const long bytes = 4 * (from + kRun < n ? kRun : n - from);
  seqfx_common::fetch_lines(fg + 4 * from, bytes);
  seqfx_common::fetch_lines(bg + 4 * from, bytes);
}

// One 4-byte slot per table row.
struct Params {
  float y, u, v;  // key colour
  float tol_y, tol_u, tol_v;
  int y_on, u_on, v_on;
  float blend;
  int debug;      // -1 keying, 0/1/2 show Y/U/V
};

}  // namespace

extern "C" {
SEQFX_DATA char name[11] = "Chroma Key";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_FIELD(y, PLUGIN_CODE_SLIDER_FLOAT, "Y:", 0.5, 0, 1, ""),
    SEQFX_FIELD(u, PLUGIN_CODE_SLIDER_FLOAT, "U:", 0.5, 0, 1, ""),
    SEQFX_FIELD(v, PLUGIN_CODE_SLIDER_FLOAT, "V:", 0.5, 0, 1, ""),
    SEQFX_FIELD(tol_y, PLUGIN_CODE_SLIDER_FLOAT, "TolY:", 0.1, 0.0001, 1, "Tolerance(Y)"),
    SEQFX_FIELD(tol_u, PLUGIN_CODE_SLIDER_FLOAT, "TolU:", 0.1, 0.0001, 1, "Tolerance(U)"),
    SEQFX_FIELD(tol_v, PLUGIN_CODE_SLIDER_FLOAT, "TolV:", 0.1, 0.0001, 1, "Tolerance(V)"),
    SEQFX_FIELD(y_on, PLUGIN_CODE_TOGGLE, "Y On", 1, 0, 1, ""),
    SEQFX_FIELD(u_on, PLUGIN_CODE_TOGGLE, "U On", 1, 0, 1, ""),
    SEQFX_FIELD(v_on, PLUGIN_CODE_TOGGLE, "V On", 1, 0, 1, ""),
    SEQFX_FIELD(blend, PLUGIN_CODE_SLIDER_FLOAT, "Blend: ", 0.1, 0, 1, ""),
    SEQFX_FIELD(debug, PLUGIN_CODE_SLIDER_INT, "Debug: ", -1, -1, 2, ""));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  // Keying needs both strips, and two different ones; otherwise nothing
  // happens and nothing is said.
  if (!ibuf1 || !ibuf2 || ibuf1 == ibuf2 || !ibuf1->rect || !ibuf2->rect || height == 0) return;
  if (!out || !out->rect) {
    std::printf("tonecut: no output image!\n");
    return;
  }
  if (width <= 0 || height <= 0) return;
  long n = (long)width * height;
  // Never walk past the end of the smallest image.
  if (pixel_count(ibuf1) < n) n = pixel_count(ibuf1);
  if (pixel_count(ibuf2) < n) n = pixel_count(ibuf2);
  if (pixel_count(out) < n) n = pixel_count(out);

  const unsigned char *fg = ibuf1->rect, *bg = ibuf2->rect;
  unsigned char *dst = out->rect;
  alignas(64) float y[kRun], u[kRun], v[kRun];

  // Debug views: 0, 1 or 2 show the Y, U or V plane with alpha 1. Values
  // outside the table's range (other than -1) key normally.
  if (p->debug >= 0 && p->debug <= 2) {
    for (long i0 = 0; i0 < n; i0 += kRun) {
      const long run = n - i0 < kRun ? n - i0 : kRun;
      tonecut::yuv_planes(fg + 4 * i0, run, y, p->debug == 1 ? u : nullptr, p->debug == 2 ? v : nullptr);
      const float *comp = p->debug == 0 ? y : p->debug == 1 ? u : v;
      unsigned char *d = dst + 4 * i0;
      for (long i = 0; i < run; ++i, d += 4) {
        const unsigned char g = (unsigned char)(int)(comp[i] * 255.0);
        d[0] = d[1] = d[2] = g;
        d[3] = 1;
      }
    }
    return;
  }

  // A channel that is off needs no conversion at all.
  const tonecut::Key key = {p->y_on != 0, p->u_on != 0, p->v_on != 0, p->y,     p->u,    p->v,
                            p->tol_y,     p->tol_u,     p->tol_v,     p->blend};
  const tonecut::LanePath path = tonecut::best_lane_path();
  for (long i0 = 0; i0 < n; i0 += kRun) {
    const long run = n - i0 < kRun ? n - i0 : kRun;
    fetch_ahead(fg, bg, i0 + kAhead * kRun, n);
    tonecut::yuv_planes(path, fg + 4 * i0, run, y, key.u_on ? u : nullptr, key.v_on ? v : nullptr);
    tonecut::key_run(path, key, y, u, v, fg + 4 * i0, bg + 4 * i0, dst + 4 * i0, run);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
