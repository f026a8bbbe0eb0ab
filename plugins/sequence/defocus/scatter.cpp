// defocus: the foreground blur, which scatters each pixel over a disc.
#include "blurs.h"
#include "clamps.h"
#include "kernels.h"
#include "lanes.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace dof {

using seqfx_common::capped_byte;

namespace {

// The kernels of a ladder with each row widened by zero taps to a whole
// number of vectors: level k has rows of width[k] floats from offset[k].
struct WideLadder {
  int e[kLevels], width[kLevels];
  long offset[kLevels];
  int emax = 0;
  float *taps = nullptr;
};

// The weight and colour sums of the target rows a source row can still
// reach (emax either side), each row kept as four planes: weight sum, red,
// green, blue. The planes are wider than the frame by a margin each side,
// so that a kernel row is added with whole vectors at the frame's edges
// too; the margins are never read back.
struct Ring {
  float *base = nullptr;
  long stride = 0;
  int rows = 0, margin = 0, width = 0, last = 0;  // last: the frame's top row

  Img *alloc(int w, int h, int emax) {
    margin = emax + kLanes;
    stride = (long)w + 2 * margin;
    rows = 2 * emax + 1;
    width = w;
    last = h - 1;
    if (emax > kMaxReach || stride > INT_MAX) return nullptr;
    Img *img = alloc_img((int)stride, 4 * rows, kFloat);
    if (img) base = reinterpret_cast<float *>(img->data);
    return img;
  }
  // The weight plane of target row t; red, green and blue follow it.
  float *row(int t) const { return base + 4 * (long)(t % rows) * stride + margin; }

  // Target row t is complete: its pixels are the colour sums over the
  // weight sum (black where nothing reached it), and its place is cleared
  // for the row rows further on.
  void finish(int t, unsigned char *out) const {
    float *ws = row(t);
    const float *r = ws + stride, *g = r + stride, *b = g + stride;
    unsigned char *o = out + 3 * (long)t * width;
    for (int x = 0; x < width; ++x, o += 3) {
      const float s = ws[x];
      if (s == 0.0f) {
        o[0] = o[1] = o[2] = 0;
        continue;
      }
      o[0] = capped_byte(r[x] / s);
      o[1] = capped_byte(g[x] / s);
      o[2] = capped_byte(b[x] / s);
    }
    std::memset(ws - margin, 0, 4 * (size_t)stride * sizeof(float));
  }
};

// Scatters source row y into the ring. Within one kernel row the targets
// are distinct, so they are added side by side. The zero taps that widen a
// row add exactly +0 to sums that are never negative, which leaves them as
// they are.
__attribute__((always_inline)) inline void scatter_row(const unsigned char *A,
                                                       const unsigned char *F,
                                                       const float *curve, const WideLadder &wide,
                                                       const Ring &ring, int y) {
  const int W = ring.width, emax = (ring.rows - 1) / 2;
  // The weight planes of the target rows y - emax .. y + emax in the frame.
  float *near[2 * kMaxReach + 1];
  for (int dy = -min_i(y, emax); dy <= min_i(emax, ring.last - y); ++dy)
    near[dy + emax] = ring.row(y + dy);
  for (int x = 0; x < W; ++x) {
    const long i = (long)y * W + x;
    const int f = F[i];
    const float *cv = curve + 256 * f;
    const float c0 = cv[A[3 * i]], c1 = cv[A[3 * i + 1]], c2 = cv[A[3 * i + 2]];
    const int level = f / 4, e = wide.e[level], width = wide.width[level];
    const int y0 = -min_i(y, e), y1 = min_i(e, ring.last - y);
    const float *kr = wide.taps + wide.offset[level] + (long)(y0 + e) * width;
    for (int dy = y0; dy <= y1; ++dy, kr += width) {
      float *ws = near[dy + emax] + (x - e);
      float *r = ws + ring.stride, *g = r + ring.stride, *b = g + ring.stride;
      int j = 0;
      for (; j + 8 <= width; j += 8) {
        add_lanes<V8>(ws + j, kr + j);
        add_lanes<V8>(r + j, kr + j, c0);
        add_lanes<V8>(g + j, kr + j, c1);
        add_lanes<V8>(b + j, kr + j, c2);
      }
      for (; j < width; j += 4) {
        add_lanes<V4>(ws + j, kr + j);
        add_lanes<V4>(r + j, kr + j, c0);
        add_lanes<V4>(g + j, kr + j, c1);
        add_lanes<V4>(b + j, kr + j, c2);
      }
    }
  }
}

typedef void (*Scatter)(const unsigned char *, const unsigned char *, const float *,
                        const WideLadder &, const Ring &, int);

void scatter_base(const unsigned char *A, const unsigned char *F, const float *curve,
                  const WideLadder &wide, const Ring &ring, int y) {
  scatter_row(A, F, curve, wide, ring, y);
}

#if defined(__x86_64__) || defined(__i386__)
// The same loop with eight-lane registers, for processors that have them.
__attribute__((target("avx2"))) void scatter_avx(const unsigned char *A, const unsigned char *F,
                                                const float *curve, const WideLadder &wide,
                                                const Ring &ring, int y) {
  scatter_row(A, F, curve, wide, ring, y);
}
#endif

Scatter pick_scatter() {
#if defined(__x86_64__) || defined(__i386__)
  if (have_avx2()) return scatter_avx;
#endif
  return scatter_base;
}

bool widen(Mask *const *ladder, WideLadder &w) {
  long total = 0;
  for (int k = 0; k < kLevels; ++k) {
    const int e = ladder[k]->e, n = 2 * e + 1;
    w.e[k] = e;
    w.width[k] = (n + kLanes - 1) / kLanes * kLanes;
    w.offset[k] = total;
    total += (long)n * w.width[k];
    if (e > w.emax) w.emax = e;
  }
  w.taps = static_cast<float *>(std::calloc((size_t)total, sizeof(float)));
  if (!w.taps) return false;
  for (int k = 0; k < kLevels; ++k) {
    const int e = w.e[k];
    for (int dy = -e; dy <= e; ++dy)
      std::memcpy(w.taps + w.offset[k] + (long)(dy + e) * w.width[k], ladder[k]->at(dy, -e),
                  (size_t)(2 * e + 1) * sizeof(float));
  }
  return true;
}

}  // namespace

Img *defocus2(const Img *a, const Img *front, Mask *const *ladder, float sigma) {
  const int W = a->width, H = a->height;
  WideLadder wide;
  Img *res = alloc_img(W, H, kColour);
  Img *sums = nullptr;
  Ring ring;
  // The contrast curve depends only on the mask value and the channel
  // byte: one table of 256 x 256 values per frame.
  float *curve = static_cast<float *>(std::malloc(256 * 256 * sizeof(float)));
  if (res && curve && widen(ladder, wide)) sums = ring.alloc(W, H, wide.emax);
  if (!res || !sums || !curve) {
    std::perror("defocus2");
    free_img(res);
    free_img(sums);
    std::free(curve);
    std::free(wide.taps);
    return nullptr;
  }
  // L and N stay in double; g and each curve value are rounded to single.
  for (int f = 0; f < 256; ++f) {
    float *cv = curve + 256 * f;
    const float s = (float)((double)(sigma * (float)f) / 255.0);
    if ((double)s > 0.001) {
      const double L = std::tanh(-0.3 * (double)s), N = std::tanh(0.7 * (double)s);
      const float g = (float)(255.0 / (N - L));
      for (int v = 0; v < 256; ++v)
        cv[v] = (float)((std::tanh((double)s * ((double)v / 255.0 - 0.3)) - L) * (double)g);
    } else {
      for (int v = 0; v < 256; ++v) cv[v] = (float)v;
    }
  }

  // Each source adds to a target at most once, and sources go in memory
  // order, so every target sums its contributions in that order. Target
  // row t is complete once source row t + emax is done.
  const Scatter scatter = pick_scatter();
  for (int y = 0; y < H; ++y) {
    scatter(a->data, front->data, curve, wide, ring, y);
    row_done(y, H);
    if (y - wide.emax >= 0) ring.finish(y - wide.emax, res->data);
  }
  for (int t = H - wide.emax < 0 ? 0 : H - wide.emax; t < H; ++t) ring.finish(t, res->data);
  std::printf("\n");

  std::free(curve);
  std::free(wide.taps);
  free_img(sums);
  return res;
}

}  // namespace dof
