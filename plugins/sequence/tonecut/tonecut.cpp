// tonecut: keys the first strip over the second by closeness to a key
// colour in this module's own YUV space, with per-channel tolerances and
// switches, a soft blend ramp and debug views of the Y, U and V planes.

#include "seqfx_module.h"

#include <cmath>
#include <cstdio>

namespace {

// One 4-byte slot per table row.
struct Params {
  float y, u, v;           // rows 0..2: key colour
  float tol_y, tol_u, tol_v;  // rows 3..5
  int y_on, u_on, v_on;    // rows 6..8
  float blend;             // row 9
  int debug;               // row 10: -1 keying, 0/1/2 show Y/U/V
};

long pixels_of(const ImageBuffer *b) {
  if (b->xsize <= 0 || b->ysize <= 0) return 0;
  return (long)b->xsize * b->ysize;
}

// Per byte value: v / 255 as a double division stored as float, and that
// value times each luma weight in double precision. The luma is the double
// sum of the three products, in the order red, green, blue.
struct Tables {
  float unit[256];
  double wr[256], wg[256], wb[256];
  Tables() {
    for (int b = 0; b < 256; ++b) {
      unit[b] = (float)(b / 255.0);
      wr[b] = 0.299 * unit[b];
      wg[b] = 0.587 * unit[b];
      wb[b] = 0.114 * unit[b];
    }
  }
  float luma(const unsigned char *px) const { return (float)(wr[px[0]] + wg[px[1]] + wb[px[2]]); }
};

// The differences B - Y and R - Y are single precision, the scaling double;
// each result is stored as a float.
inline float chroma_u(float b, float y) {
  const float by = b - y;
  return (float)(by * 0.492 * 255 / (2 * 122) + 0.5);
}
inline float chroma_v(float r, float y) {
  const float ry = r - y;
  return (float)(ry * 0.877 * 255 / (2 * 157) + 0.5);
}

inline void copy_pixel(unsigned char *d, const unsigned char *s) {
  d[0] = s[0];
  d[1] = s[1];
  d[2] = s[2];
  d[3] = s[3];
}

}  // namespace

extern "C" {
SEQFX_DATA char name[11] = "Chroma Key";
SEQFX_DATA float cfra;
SEQFX_DATA ParamDescriptor varstr[] = {
    SEQFX_ROW(PLUGIN_CODE_SLIDER_FLOAT, "Y:", 0.5, 0, 1, ""),
    SEQFX_ROW(PLUGIN_CODE_SLIDER_FLOAT, "U:", 0.5, 0, 1, ""),
    SEQFX_ROW(PLUGIN_CODE_SLIDER_FLOAT, "V:", 0.5, 0, 1, ""),
    SEQFX_ROW(PLUGIN_CODE_SLIDER_FLOAT, "TolY:", 0.1, 0.0001, 1, "Tolerance(Y)"),
    SEQFX_ROW(PLUGIN_CODE_SLIDER_FLOAT, "TolU:", 0.1, 0.0001, 1, "Tolerance(U)"),
    SEQFX_ROW(PLUGIN_CODE_SLIDER_FLOAT, "TolV:", 0.1, 0.0001, 1, "Tolerance(V)"),
    SEQFX_ROW(PLUGIN_CODE_TOGGLE, "Y On", 1, 0, 1, ""),
    SEQFX_ROW(PLUGIN_CODE_TOGGLE, "U On", 1, 0, 1, ""),
    SEQFX_ROW(PLUGIN_CODE_TOGGLE, "V On", 1, 0, 1, ""),
    SEQFX_ROW(PLUGIN_CODE_SLIDER_FLOAT, "Blend: ", 0.1, 0, 1, ""),
    SEQFX_ROW(PLUGIN_CODE_SLIDER_INT, "Debug: ", -1, -1, 2, ""),
};
}
static_assert(sizeof(Params) == sizeof(varstr) / sizeof(varstr[0]) * 4, "one slot per row");

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
  if (pixels_of(ibuf1) < n) n = pixels_of(ibuf1);
  if (pixels_of(ibuf2) < n) n = pixels_of(ibuf2);
  if (pixels_of(out) < n) n = pixels_of(out);

  static const Tables t;
  const unsigned char *fg = ibuf1->rect, *bg = ibuf2->rect;
  unsigned char *dst = out->rect;

  // Debug views: 0, 1 or 2 show the Y, U or V plane with alpha 1. Values
  // outside the table's range (other than -1) key normally.
  if (p->debug >= 0 && p->debug <= 2) {
    for (long i = 0; i < n; ++i, fg += 4, dst += 4) {
      const float y = t.luma(fg);
      const float comp = p->debug == 0 ? y
                         : p->debug == 1 ? chroma_u(t.unit[fg[2]], y)
                                         : chroma_v(t.unit[fg[0]], y);
      const unsigned char g = (unsigned char)(int)(comp * 255.0);
      dst[0] = dst[1] = dst[2] = g;
      dst[3] = 1;
    }
    return;
  }

  // A channel that is off needs no conversion at all.
  const bool y_on = p->y_on != 0, u_on = p->u_on != 0, v_on = p->v_on != 0;
  const float tol_y = p->tol_y, tol_u = p->tol_u, tol_v = p->tol_v, blend = p->blend;
  const float key_y = p->y, key_u = p->u, key_v = p->v;
  for (long i = 0; i < n; ++i, fg += 4, bg += 4, dst += 4) {
    const float y = t.luma(fg);
    const float dy = y_on ? std::fabs(y - key_y) : 0.0f;
    const float du = u_on ? std::fabs(chroma_u(t.unit[fg[2]], y) - key_u) : 0.0f;
    const float dv = v_on ? std::fabs(chroma_v(t.unit[fg[0]], y) - key_v) : 0.0f;
    const bool cy = y_on && dy <= tol_y, cu = u_on && du <= tol_u, cv = v_on && dv <= tol_v;
    if (!(cy || cu || cv)) {
      copy_pixel(dst, fg);
      continue;
    }
    float sum = 0.0f;
    int count = 0;
    if (cy) sum += 1.0f - dy / tol_y, ++count;
    if (cu) sum += 1.0f - du / tol_u, ++count;
    if (cv) sum += 1.0f - dv / tol_v, ++count;
    const float m = sum / count;
    // m = 0 gives k = 0, also with Blend 0, where m / Blend would be 0 / 0.
    const float k = m > blend ? 1.0f : (m == 0.0f ? 0.0f : m / blend);
    // k = 0 and k = 1 give back one input's bytes exactly.
    if (k == 0.0f) {
      copy_pixel(dst, fg);
    } else if (k == 1.0f) {
      copy_pixel(dst, bg);
    } else {
      const float rest = 1.0f - k;
      for (int c = 0; c < 4; ++c) dst[c] = (unsigned char)(int)((float)bg[c] * k + (float)fg[c] * rest);
    }
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
