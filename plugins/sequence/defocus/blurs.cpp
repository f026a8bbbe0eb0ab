#include "blurs.h"
#include "clamps.h"
#include "kernels.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace dof {

using seqfx_common::capped_byte;

namespace {

inline int min_i(int a, int b) { return a < b ? a : b; }

void row_done(int y, int height) {
  progress(y, height);
  std::fflush(nullptr);
}

// Four floats side by side; the same operations on each lane as on one
// float alone.
typedef float V4 __attribute__((vector_size(16)));
constexpr int kLanes = 4;
inline V4 load4(const float *p) {
  V4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void store4(float *p, V4 v) { std::memcpy(p, &v, sizeof v); }

// The kernels of a ladder with each row widened by zero taps to a whole
// number of vectors: level k has rows of width[k] floats from offset[k].
struct WideLadder {
  int e[kLevels], width[kLevels];
  long offset[kLevels];
  int emax = 0;
  float *taps = nullptr;
};

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

Img *defocus(const Img *a, const Img *back, Mask *const *ladder) {
  const int W = a->width, H = a->height;
  Img *res = alloc_img(W, H, kColour);
  if (!res) return nullptr;
  const unsigned char *B = back->data, *A = a->data;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const long i = (long)y * W + x;
      const int b = B[i];
      unsigned char *o = res->data + 3 * i;
      if (b == 0) {
        o[0] = A[3 * i];
        o[1] = A[3 * i + 1];
        o[2] = A[3 * i + 2];
        continue;
      }
      const Mask *k = ladder[b / 4];
      const int e = k->e;
      const int x0 = -min_i(x, e), x1 = min_i(e, W - 1 - x);
      const int y0 = -min_i(y, e), y1 = min_i(e, H - 1 - y);
      // Rows dy outward, columns dx within a row, all sums in single
      // precision. A neighbour outside the background (mask 0) weighs
      // exactly 0 and adds nothing, so it is skipped.
      float sw = 0.0f, s0 = 0.0f, s1 = 0.0f, s2 = 0.0f;
      for (int dy = y0; dy <= y1; ++dy) {
        const float *kr = k->at(dy, 0);
        const unsigned char *br = B + i + (long)dy * W;
        const unsigned char *ar = A + 3 * (i + (long)dy * W);
        for (int dx = x0; dx <= x1; ++dx) {
          const int nb = br[dx];
          if (nb == 0) continue;
          const float wt = (float)((double)(kr[dx] * (float)nb) / 255.0);
          sw += wt;
          s0 += wt * (float)ar[3 * dx];
          s1 += wt * (float)ar[3 * dx + 1];
          s2 += wt * (float)ar[3 * dx + 2];
        }
      }
      o[0] = capped_byte(s0 / sw);
      o[1] = capped_byte(s1 / sw);
      o[2] = capped_byte(s2 / sw);
    }
    row_done(y, H);
  }
  std::printf("\n");
  return res;
}

Img *defocus2(const Img *a, const Img *front, Mask *const *ladder, float sigma) {
  const int W = a->width, H = a->height;
  WideLadder wide;
  // The sums are kept in planes wider than the frame by a margin on each
  // side, so that a kernel row is added with whole vectors even at the
  // frame's edges; the margins are never read back. Per frame row the
  // planes are the weight sum, then red, green and blue.
  const int margin = widen(ladder, wide) ? wide.emax + kLanes : 0;
  const long stride = (long)W + 2 * margin;
  const bool fits = margin && stride <= INT_MAX && H <= INT_MAX / 4;
  Img *res = alloc_img(W, H, kColour);
  Img *sums = fits ? alloc_img((int)stride, 4 * H, kFloat) : nullptr;
  // The contrast curve depends only on the mask value and the channel
  // byte: one table of 256 x 256 values per frame.
  float *curve = static_cast<float *>(std::malloc(256 * 256 * sizeof(float)));
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

  const unsigned char *F = front->data, *A = a->data;
  float *const plane = reinterpret_cast<float *>(sums->data) + margin;
  // Each source adds to a target at most once, and sources go in memory
  // order, so every target sums its contributions in that order. Within
  // one kernel row the targets are distinct, so they are added side by
  // side. The zero taps that widen a row add exactly +0 to sums that are
  // never negative, which leaves them as they are.
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const long i = (long)y * W + x;
      const int f = F[i];
      const float *cv = curve + 256 * f;
      const float c0 = cv[A[3 * i]], c1 = cv[A[3 * i + 1]], c2 = cv[A[3 * i + 2]];
      const int level = f / 4, e = wide.e[level], width = wide.width[level];
      const int y0 = -min_i(y, e), y1 = min_i(e, H - 1 - y);
      const float *kr = wide.taps + wide.offset[level] + (long)(y0 + e) * width;
      for (int dy = y0; dy <= y1; ++dy, kr += width) {
        float *ws = plane + 4 * (long)(y + dy) * stride + (x - e);
        float *r = ws + stride, *g = r + stride, *b = g + stride;
        for (int j = 0; j < width; j += kLanes) {
          const V4 k = load4(kr + j);
          store4(ws + j, load4(ws + j) + k);
          store4(r + j, load4(r + j) + k * c0);
          store4(g + j, load4(g + j) + k * c1);
          store4(b + j, load4(b + j) + k * c2);
        }
      }
    }
    row_done(y, H);
  }
  std::printf("\n");

  unsigned char *o = res->data;
  for (int y = 0; y < H; ++y) {
    const float *ws = plane + 4 * (long)y * stride;
    const float *r = ws + stride, *g = r + stride, *b = g + stride;
    for (int x = 0; x < W; ++x, o += 3) {
      const float s = ws[x];
      if (s == 0.0f) {
        o[0] = o[1] = o[2] = 0;
        continue;
      }
      o[0] = capped_byte(r[x] / s);
      o[1] = capped_byte(g[x] / s);
      o[2] = capped_byte(b[x] / s);
    }
  }
  std::free(curve);
  std::free(wide.taps);
  free_img(sums);
  return res;
}

void zgamma(Img *img, const Img *back, float gamma) {
  // The new byte depends only on the mask value and the old byte.
  static unsigned char lut[256][256];
  for (int b = 0; b < 256; ++b) {
    const float p = (float)(1.0 - (double)((1.0f - gamma) * (float)b) / 255.0);
    for (int v = 0; v < 256; ++v) {
      const double nv = 255.0 * std::pow((double)v / 255.0, (double)p);
      lut[b][v] = nv >= 255.0 ? 255 : (unsigned char)(int)nv;
    }
  }
  unsigned char *d = img->data;
  const unsigned char *B = back->data;
  for (int i = 0; i < img->count; ++i, d += 3) {
    const unsigned char *row = lut[B[i]];
    d[0] = row[d[0]];
    d[1] = row[d[1]];
    d[2] = row[d[2]];
  }
}

}  // namespace dof
