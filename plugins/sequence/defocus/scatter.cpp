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

// The kernels of a ladder laid out for whole vectors of eight: each row
// has one zero tap before the kernel and zero taps after it, to width[k]
// floats (a multiple of eight, with at least kGroup - 1 zeros after). A
// source at x adds tap j of a row to target x - e - 1 + j. The rows of
// level k start at offset[k]; the array starts with eight zeros, so that
// the kGroup - 1 floats before any row are zeros too (a group of sources
// reads its later sources' rows up to kGroup - 1 floats early).
constexpr int kRowLanes = 8;
constexpr int kGroup = 4;  // sources added in one walk, at most

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
// too (a row reaches from e + 1 before its source to e + 10 after it);
// the margins are never read back.
struct Ring {
  float *base = nullptr;
  long stride = 0;
  int rows = 0, margin = 0, width = 0, last = 0;  // last: the frame's top row

  Img *alloc(int w, int h, int emax) {
    margin = emax + 2 * kRowLanes;
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
    int x = 0;
    for (; x + 8 <= width; x += 8)
      if (!finish8(ws + x, r + x, g + x, b + x, o + 3 * x)) finish_each(ws, r, g, b, o, x, x + 8);
    finish_each(ws, r, g, b, o, x, width);
    std::memset(ws - margin, 0, 4 * (size_t)stride * sizeof(float));
  }

 private:
  static void finish_each(const float *ws, const float *r, const float *g, const float *b, unsigned char *o,
                          int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
      const float s = ws[x];
      unsigned char *p = o + 3 * x;
      if (s == 0.0f) {
        p[0] = p[1] = p[2] = 0;
        continue;
      }
      p[0] = capped_byte(r[x] / s);
      p[1] = capped_byte(g[x] / s);
      p[2] = capped_byte(b[x] / s);
    }
  }

  // Eight pixels of finish with the divisions side by side, the same
  // quotients lane by lane. Returns false, having written nothing, when a
  // quotient is negative or not a number (sums never are): capped_byte's
  // low bits of such values are left to the pixel at a time.
  static bool finish8(const float *ws, const float *r, const float *g, const float *b, unsigned char *o) {
    typedef int V8i __attribute__((vector_size(32)));
    V8 s;
    std::memcpy(&s, ws, sizeof s);
    const V8i empty = s == 0.0f;
    const float *planes[3] = {r, g, b};
    V8i bytes[3];
    for (int c = 0; c < 3; ++c) {
      V8 v;
      std::memcpy(&v, planes[c], sizeof v);
      V8 q = (V8)((V8i)(v / s) & ~empty);  // 0 where nothing reached the pixel
      const V8i fine = q >= 0.0f;
      for (int k = 0; k < 8; ++k)
        if (!fine[k]) return false;
      q = q < 255.0f ? q : V8{} + 255.0f;  // from 255 up: 255
      bytes[c] = __builtin_convertvector(q, V8i);
    }
    for (int k = 0; k < 8; ++k)
      for (int c = 0; c < 3; ++c) o[3 * k + c] = (unsigned char)bytes[c][k];
    return true;
  }
};

// dst[j] += k[0][j] * c[0], then += k[1][j] * c[1], ... for the lanes of
// one vector: each target takes the first source's term, then the next
// one's, as the sources would add them one after the other. The weight
// plane passes factors of 1, whose products are the taps themselves.
template <int K>
__attribute__((always_inline)) inline void add_group(float *dst, const float *const *k, long j, const float *c) {
  V8 d;
  std::memcpy(&d, dst, sizeof d);
  for (int s = 0; s < K; ++s) {
    V8 w;
    std::memcpy(&w, k[s] + j, sizeof w);
    d += w * c[s];
  }
  std::memcpy(dst, &d, sizeof d);
}

// Adds K neighbouring sources from x on, whose kernels have the same reach
// e, in one walk over their targets: each target's sums load and store once
// for all K. Each source brings its level's kernel rows and its three
// colour values from the contrast curve. Source s's targets start s
// further, so its rows are read s floats early (zero taps, or the zeros
// before the row).
template <int K>
__attribute__((always_inline)) inline void scatter_group(const unsigned char *A, const unsigned char *F,
                                                         const float *curve, const WideLadder &wide,
                                                         float *const *near, long st, long i, int x, int e,
                                                         int y0, int y1, int emax) {
  const int width = wide.width[F[i] / 4];  // the same for every level of one reach
  const float *k[K];
  float ones[K], c0[K], c1[K], c2[K];
  for (int s = 0; s < K; ++s) {
    const int f = F[i + s];
    const float *cv = curve + 256 * f;
    k[s] = wide.taps + wide.offset[f / 4] + (long)(y0 + e) * width - s;
    ones[s] = 1.0f;
    c0[s] = cv[A[3 * (i + s)]], c1[s] = cv[A[3 * (i + s) + 1]], c2[s] = cv[A[3 * (i + s) + 2]];
  }
  for (int dy = y0; dy <= y1; ++dy) {
    float *ws = near[dy + emax] + (x - e - 1);
    for (int j = 0; j < width; j += kRowLanes) {
      add_group<K>(ws + j, k, j, ones);
      add_group<K>(ws + st + j, k, j, c0);
      add_group<K>(ws + 2 * st + j, k, j, c1);
      add_group<K>(ws + 3 * st + j, k, j, c2);
    }
    for (int s = 0; s < K; ++s) k[s] += width;
  }
}

// Scatters source row y into the ring. Within one kernel row the targets
// are distinct, so they are added side by side. The zero taps that widen a
// row add exactly +0 to sums that are never negative, which leaves them as
// they are. Up to kGroup neighbouring sources with kernels of the same
// reach are added together (see scatter_group).
__attribute__((always_inline)) inline void scatter_row(const unsigned char *A,
                                                       const unsigned char *F,
                                                       const float *curve, const WideLadder &wide,
                                                       const Ring &ring, int y) {
  const int W = ring.width, emax = (ring.rows - 1) / 2;
  // The weight planes of the target rows y - emax .. y + emax in the frame.
  float *near[2 * kMaxReach + 1];
  for (int dy = -min_i(y, emax); dy <= min_i(emax, ring.last - y); ++dy)
    near[dy + emax] = ring.row(y + dy);
  for (int x = 0; x < W;) {
    const long i = (long)y * W + x;
    const int e = wide.e[F[i] / 4];
    const int y0 = -min_i(y, e), y1 = min_i(e, ring.last - y);
    int same = 1;
    while (same < kGroup && x + same < W && wide.e[F[i + same] / 4] == e) ++same;
    if (same == 4) {
      scatter_group<4>(A, F, curve, wide, near, ring.stride, i, x, e, y0, y1, emax);
    } else if (same >= 2) {
      same = 2;
      scatter_group<2>(A, F, curve, wide, near, ring.stride, i, x, e, y0, y1, emax);
    } else {
      scatter_group<1>(A, F, curve, wide, near, ring.stride, i, x, e, y0, y1, emax);
    }
    x += same;
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
  long total = kRowLanes;  // the zeros before the first row
  for (int k = 0; k < kLevels; ++k) {
    const int e = ladder[k]->e, n = 2 * e + 1;
    w.e[k] = e;
    w.width[k] = (n + kGroup + kRowLanes - 1) / kRowLanes * kRowLanes;
    w.offset[k] = total;
    total += (long)n * w.width[k];
    if (e > w.emax) w.emax = e;
  }
  w.taps = static_cast<float *>(std::calloc((size_t)total, sizeof(float)));
  if (!w.taps) return false;
  for (int k = 0; k < kLevels; ++k) {
    const int e = w.e[k];
    for (int dy = -e; dy <= e; ++dy)
      std::memcpy(w.taps + w.offset[k] + (long)(dy + e) * w.width[k] + 1, ladder[k]->at(dy, -e),
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
