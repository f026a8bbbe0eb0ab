// defocus: the background blur, which gathers each pixel from a disc.
#include "blurs.h"
#include "clamps.h"
#include "kernels.h"
#include "lanes.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace dof {

using seqfx_common::capped_byte;

namespace {

// One pixel, any window: rows dy outward, columns dx within a row, all sums
// in single precision. A neighbour outside the background (mask 0) weighs
// exactly 0 and adds nothing, so it is skipped. A weight is the single
// product divided by 255 and rounded to single; dividing in single directly
// gives the same float, because a double quotient of two floats rounded to
// float is always the correctly rounded float quotient (53 >= 2 x 24 + 2
// bits).
void gather_pixel(const unsigned char *A, const unsigned char *B, const Mask *k, int W, int H,
                  int x, int y, unsigned char *o) {
  const long i = (long)y * W + x;
  const int e = k->e;
  const int x0 = -min_i(x, e), x1 = min_i(e, W - 1 - x);
  const int y0 = -min_i(y, e), y1 = min_i(e, H - 1 - y);
  float sw = 0.0f, s0 = 0.0f, s1 = 0.0f, s2 = 0.0f;
  for (int dy = y0; dy <= y1; ++dy) {
    const float *kr = k->at(dy, 0);
    const unsigned char *br = B + i + (long)dy * W;
    const unsigned char *ar = A + 3 * (i + (long)dy * W);
    for (int dx = x0; dx <= x1; ++dx) {
      const int nb = br[dx];
      if (nb == 0) continue;
      const float wt = (kr[dx] * (float)nb) / 255.0f;
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

// The rows of the frame a row's blur reaches (emax either side), as floats:
// for each row the background mask, red, green and blue, one plane each,
// so that eight neighbours of one of them load at once.
struct Planes {
  float *base = nullptr;
  int rows = 0, width = 0;
  // The mask plane of rows y - reach .. y + reach of the frame, set by
  // centre_on for the row being blurred; the colour planes follow each.
  const float *near[2 * kMaxReach + 1];
  int reach = 0;
  float *row(int y, int plane) const {
    return base + ((long)(y % rows) * 4 + plane) * width;
  }
  void centre_on(int y, int height) {
    for (int dy = -min_i(y, reach); dy <= min_i(reach, height - 1 - y); ++dy)
      near[dy + reach] = row(y + dy, 0);
  }
  // Row y enters the window.
  void convert(const unsigned char *A, const unsigned char *B, int y) const {
    const long i0 = (long)y * width;
    float *m = row(y, 0), *r = row(y, 1), *g = row(y, 2), *b = row(y, 3);
    for (int x = 0; x < width; ++x) m[x] = (float)B[i0 + x];
    const unsigned char *a = A + 3 * i0;
    for (int x = 0; x < width; ++x) {
      r[x] = (float)a[3 * x];
      g[x] = (float)a[3 * x + 1];
      b[x] = (float)a[3 * x + 2];
    }
  }
};

// The kernels of a ladder, each laid out on the square of the largest one
// (half-width emax) with zero taps around it, so that any two kernels have
// their taps at the same places.
struct Square {
  int emax = 0, side = 1;
  float *taps = nullptr;
  int e[kLevels];
  const float *level(int k) const { return taps + (long)k * side * side; }

  bool build(Mask *const *ladder) {
    for (int k = 0; k < kLevels; ++k) {
      e[k] = ladder[k]->e;
      if (e[k] > emax) emax = e[k];
    }
    side = 2 * emax + 1;
    taps = static_cast<float *>(std::calloc((size_t)kLevels * side * side, sizeof(float)));
    if (!taps) return false;
    for (int k = 0; k < kLevels; ++k)
      for (int dy = -e[k]; dy <= e[k]; ++dy)
        std::memcpy(taps + (long)k * side * side + (long)(dy + emax) * side + (emax - e[k]),
                    ladder[k]->at(dy, -e[k]), (size_t)(2 * e[k] + 1) * sizeof(float));
    return true;
  }
};

typedef int I8 __attribute__((vector_size(32)));

// Eight neighbouring pixels x..x+7 that use at most two kernels (the lanes
// set in second use kb, the others ka) and whose windows lie inside the
// frame's columns: each lane takes the taps of gather_pixel in the same
// order. The taps a lane's own kernel lacks weigh 0, and so do neighbours
// outside the background; they add +0 to sums that are never negative,
// which leaves them as they are.
__attribute__((always_inline)) inline void gather_eight(const Planes &p, const Square &sq,
                                                        int ka, int kb, const I8 &second, int H,
                                                        int x, int y, V8 *sums) {
  const int e = sq.e[ka] > sq.e[kb] ? sq.e[ka] : sq.e[kb];
  const int y0 = -min_i(y, e), y1 = min_i(e, H - 1 - y);
  const float *ta = sq.level(ka), *tb = sq.level(kb);
  V8 sw = {}, s0 = {}, s1 = {}, s2 = {};
  for (int dy = y0; dy <= y1; ++dy) {
    const float *m = p.near[dy + p.reach] + x, *r = m + p.width, *g = r + p.width,
                *b = g + p.width;
    const long t = (long)(dy + sq.emax) * sq.side + sq.emax;
    for (int dx = -e; dx <= e; ++dx) {
      V8 nb, c0, c1, c2;
      std::memcpy(&nb, m + dx, sizeof nb);
      std::memcpy(&c0, r + dx, sizeof c0);
      std::memcpy(&c1, g + dx, sizeof c1);
      std::memcpy(&c2, b + dx, sizeof c2);
      const V8 k = second ? V8{} + tb[t + dx] : V8{} + ta[t + dx];
      const V8 wt = (k * nb) / 255.0f;
      sw += wt;
      s0 += wt * c0;
      s1 += wt * c1;
      s2 += wt * c2;
    }
  }
  sums[0] = sw;
  sums[1] = s0;
  sums[2] = s1;
  sums[3] = s2;
}

// Pixels x..x+7 of row y together, when their blurred pixels need at most
// two kernels whose windows lie inside the frame's columns. False when they
// must go one by one.
__attribute__((always_inline)) inline bool eight_at_once(const unsigned char *A, const Planes &p,
                                                         const unsigned char *B, const Square &sq,
                                                         int W, int H, int x, int y,
                                                         unsigned char *out) {
  if (x + 8 > W) return false;
  const long i = (long)y * W + x;
  int ka = -1, kb = -1;
  I8 second = {};
  for (int j = 0; j < 8; ++j) {
    const int b = B[i + j];
    if (b == 0) continue;
    const int k = b / 4;
    if (ka < 0 || k == ka) {
      ka = k;
    } else if (kb < 0 || k == kb) {
      kb = k;
      second[j] = -1;
    } else {
      return false;
    }
  }
  unsigned char *o = out + 3 * i;
  if (ka < 0) {  // nothing blurred: a copy
    std::memcpy(o, A + 3 * i, 24);
    return true;
  }
  if (kb < 0) kb = ka;
  const int e = sq.e[ka] > sq.e[kb] ? sq.e[ka] : sq.e[kb];
  if (x - e < 0 || x + 7 + e > W - 1) return false;
  V8 s[4];
  gather_eight(p, sq, ka, kb, second, H, x, y, s);
  for (int j = 0; j < 8; ++j, o += 3) {
    if (B[i + j] == 0) {
      std::memcpy(o, A + 3 * (i + j), 3);
      continue;
    }
    o[0] = capped_byte(s[1][j] / s[0][j]);
    o[1] = capped_byte(s[2][j] / s[0][j]);
    o[2] = capped_byte(s[3][j] / s[0][j]);
  }
  return true;
}

__attribute__((always_inline)) inline void gather_row(const unsigned char *A, const Planes &p,
                                                      const unsigned char *B, Mask *const *ladder,
                                                      const Square &sq, int W, int H, int y,
                                                      unsigned char *out) {
  for (int x = 0; x < W;) {
    if (eight_at_once(A, p, B, sq, W, H, x, y, out)) {
      x += 8;
      continue;
    }
    const long i = (long)y * W + x;
    unsigned char *o = out + 3 * i;
    const int b = B[i];
    if (b == 0) {
      o[0] = A[3 * i];
      o[1] = A[3 * i + 1];
      o[2] = A[3 * i + 2];
    } else {
      gather_pixel(A, B, ladder[b / 4], W, H, x, y, o);
    }
    ++x;
  }
}

typedef void (*Gather)(const unsigned char *, const Planes &, const unsigned char *,
                       Mask *const *, const Square &, int, int, int, unsigned char *);

void gather_base(const unsigned char *A, const Planes &p, const unsigned char *B,
                 Mask *const *ladder, const Square &sq, int W, int H, int y,
                 unsigned char *out) {
  gather_row(A, p, B, ladder, sq, W, H, y, out);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void gather_avx(const unsigned char *A, const Planes &p,
                                               const unsigned char *B, Mask *const *ladder,
                                               const Square &sq, int W, int H, int y,
                                               unsigned char *out) {
  gather_row(A, p, B, ladder, sq, W, H, y, out);
}
#endif

Gather pick_gather() {
#if defined(__x86_64__) || defined(__i386__)
  if (have_avx2()) return gather_avx;
#endif
  return gather_base;
}

}  // namespace

Img *defocus(const Img *a, const Img *back, Mask *const *ladder) {
  const int W = a->width, H = a->height;
  Img *res = alloc_img(W, H, kColour);
  Square sq;
  Img *planes = sq.build(ladder) && sq.emax <= kMaxReach && 4 * (2 * sq.emax + 1) <= INT_MAX / W
                    ? alloc_img(W, 4 * (2 * sq.emax + 1), kFloat)
                    : nullptr;
  if (!res || !planes) {
    free_img(res);
    free_img(planes);
    std::free(sq.taps);
    return nullptr;
  }
  const unsigned char *A = a->data, *B = back->data;
  Planes p;
  p.reach = sq.emax;
  p.rows = 2 * sq.emax + 1;
  p.width = W;
  p.base = reinterpret_cast<float *>(planes->data);
  for (int y = 0; y < sq.emax && y < H; ++y) p.convert(A, B, y);
  const Gather gather = pick_gather();
  for (int y = 0; y < H; ++y) {
    if (y + sq.emax < H) p.convert(A, B, y + sq.emax);
    p.centre_on(y, H);
    gather(A, p, B, ladder, sq, W, H, y, res->data);
    row_done(y, H);
  }
  std::printf("\n");
  free_img(planes);
  std::free(sq.taps);
  return res;
}

}  // namespace dof
