// sweep: a hard-edged wipe from the first strip to the second in one of 22
// patterns; factor0 is the progress (0 shows the first strip).

#include "seqfx_module.h"
#include "frame_fit.h"

#include <cstring>
#include <utility>

namespace {

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int type;      // pattern 0..21; any other value shows the second strip
  int animated;  // shown but not read: the progress is always factor0
};

constexpr int kPatterns = 22;

// The frame-wide quantities of the patterns, all single precision.
struct Zone {
  float fw, fh;   // factor0 * W, factor0 * H
  float m;        // the smaller of fw and fh
  float cx, cy;   // W / 2 and H / 2, truncated
  int W, H;

  Zone(int width, int height, float factor0) : W(width), H(height) {
    fw = factor0 * (float)width;
    fh = factor0 * (float)height;
    m = fh >= fw ? fw : fh;
    cx = (float)(width / 2);
    cy = (float)(height / 2);
  }
};

// |e| < k as the two tests e < k and -e < k.
inline bool within(float e, float k) { return e < k && -e < k; }

// True where pattern T shows the second strip. Integer sums are formed as
// integers and converted once; sums with cx, cy run left to right in float.
template <int T>
inline bool shows_second(const Zone &z, int x, int y) {
  const int W = z.W, H = z.H;
  const float fx = (float)x, fy = (float)y;
  const float m = z.m, half_m = z.m * 0.5f;
  if constexpr (T == 0) return fx <= z.fw;
  if constexpr (T == 1) return fx >= (float)W - z.fw;
  if constexpr (T == 2) return fy <= z.fh;
  if constexpr (T == 3) return fy >= (float)H - z.fh;
  if constexpr (T == 4) return (float)(x + H - y) < m * 2.0f;
  if constexpr (T == 5) return (float)(W - x + y) < m * 2.0f;
  if constexpr (T == 6) return (float)(x + y) < m * 2.0f;
  if constexpr (T == 7) return (float)(W - x + H - y) < m * 2.0f;
  if constexpr (T == 8) return z.cx - z.fw * 0.5f <= fx && fx <= z.cx + z.fw * 0.5f;
  if constexpr (T == 9) return fx <= z.fw * 0.5f || fx >= (float)W - z.fw * 0.5f;
  if constexpr (T == 10) return z.cy - z.fh * 0.5f <= fy && fy <= z.cy + z.fh * 0.5f;
  if constexpr (T == 11) return fy <= z.fh * 0.5f || fy >= (float)H - z.fh * 0.5f;
  if constexpr (T == 12)
    return (z.cx - half_m < fx && fx < z.cx + half_m) ||
           (z.cy - half_m < fy && fy < z.cy + half_m);
  if constexpr (T == 13)
    return fx < half_m || (float)(W - x) < half_m || fy < half_m || (float)(H - y) < half_m;
  if constexpr (T == 14) return within(fx - z.cx + fy - z.cy, m);
  if constexpr (T == 15) return (float)(W - x + y) < m || (float)(x + H - y) < m;
  if constexpr (T == 16) return within(fx - z.cx + (float)H - fy - z.cy, m);
  if constexpr (T == 17) return (float)(x + y) < m || (float)(W - x + H - y) < m;
  if constexpr (T == 18)
    return within(fx - z.cx + fy - z.cy, m) && within(fx - z.cx + (float)H - fy - z.cy, m);
  if constexpr (T == 19)
    return (float)(x + y) < m || (float)(W - x + H - y) < m || (float)(x + H - y) < m ||
           (float)(W - x + y) < m;
  if constexpr (T == 20)
    return within(fx - z.cx + fy - z.cy, half_m) ||
           within(fx - z.cx + (float)H - fy - z.cy, half_m);
  if constexpr (T == 21)
    return ((float)(W - x + y) < m || (float)(x + H - y) < m) &&
           ((float)(x + y) < m || (float)(W - x + H - y) < m);
  return true;  // types outside 0..21
}

// The decision for one pixel: 1 where it shows the first strip, 0 where it
// shows the second. The pattern is a template argument so that the frame
// loop is compiled once per pattern.
template <int T>
inline int check_zone(const Zone &z, int x, int y) {
  return shows_second<T>(z, x, y) ? 0 : 1;
}

const unsigned char kBlack[4] = {0, 0, 0, 255};

// Copies one row, pixel by pixel, from the strip the pattern chooses. A
// missing plane gives opaque black and is not advanced.
template <int T>
void sweep_row(const Zone &z, int y, const unsigned char *a, const unsigned char *b,
               unsigned char *o) {
  for (int x = 0; x < z.W; ++x, o += 4) {
    const unsigned char *s = check_zone<T>(z, x, y) ? (a ? a + 4 * x : kBlack)
                                                    : (b ? b + 4 * x : kBlack);
    std::memcpy(o, s, 4);
  }
}

template <int T>
void sweep_frame(const Zone &z, const unsigned char *a, const unsigned char *b,
                 unsigned char *o) {
  const std::size_t row = 4 * (std::size_t)z.W;
  for (int y = 0; y < z.H; ++y, o += row) {
    sweep_row<T>(z, y, a, b, o);
    if (a) a += row;
    if (b) b += row;
  }
}

template <int... T>
void dispatch(int type, const Zone &z, const unsigned char *a, const unsigned char *b,
              unsigned char *o, std::integer_sequence<int, T...>) {
  // -1 stands for every type outside 0..21.
  if (type < 0 || type >= kPatterns) type = -1;
  ((type == T ? (sweep_frame<T>(z, a, b, o), 0) : 0), ...);
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Sweep";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("In: 2 strips"),
    SEQFX_FIELD(type, PLUGIN_CODE_NUMBER_INT, "Type", 0, 0, 21, "Our type of Sweep"),
    SEQFX_FIELD(animated, PLUGIN_CODE_TOGGLE, "Animated", 0, 0, 1, "For (Ipo) animated blur"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  if (width <= 0 || height <= 0 || !out || !out->rect) return;
  // A missing image record is treated like a record without pixels.
  const unsigned char *a = ibuf1 ? ibuf1->rect : nullptr;
  const unsigned char *b = ibuf2 ? ibuf2->rect : nullptr;
  // Records holding fewer pixels than the frame narrow the frame walked.
  seqfx_common::fit_frame(width, height, {out, a ? ibuf1 : nullptr, b ? ibuf2 : nullptr});
  if (width <= 0 || height <= 0) return;
  const Zone z(width, height, factor0);
  dispatch(p->type, z, a, b, out->rect,
           std::integer_sequence<int, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
                                 16, 17, 18, 19, 20, 21>{});
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
