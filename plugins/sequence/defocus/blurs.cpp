#include "blurs.h"
#include "clamps.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace dof {

using seqfx_common::capped_byte;

namespace {

inline int min_i(int a, int b) { return a < b ? a : b; }

void row_done(int y, int height) {
  progress(y, height);
  std::fflush(nullptr);
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
  Img *res = alloc_img(W, H, kColour);
  Img *wsum = alloc_img(W, H, kFloat);
  Img *accu = alloc_img(W, H, kFloat3);
  // The contrast curve depends only on the mask value and the channel
  // byte: one table of 256 x 256 values per frame.
  float *curve = static_cast<float *>(std::malloc(256 * 256 * sizeof(float)));
  if (!res || !wsum || !accu || !curve) {
    std::perror("defocus2");
    free_img(res);
    free_img(wsum);
    free_img(accu);
    std::free(curve);
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
  float *ws = reinterpret_cast<float *>(wsum->data);
  float *acc = reinterpret_cast<float *>(accu->data);
  // Each source adds to a target at most once, and sources go in memory
  // order, so every target sums its contributions in that order.
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const long i = (long)y * W + x;
      const int f = F[i];
      const float *cv = curve + 256 * f;
      const float c0 = cv[A[3 * i]], c1 = cv[A[3 * i + 1]], c2 = cv[A[3 * i + 2]];
      const Mask *k = ladder[f / 4];
      const int e = k->e;
      const int x0 = -min_i(x, e), x1 = min_i(e, W - 1 - x);
      const int y0 = -min_i(y, e), y1 = min_i(e, H - 1 - y);
      for (int dy = y0; dy <= y1; ++dy) {
        const float *kr = k->at(dy, 0);
        float *wr = ws + i + (long)dy * W;
        float *ar = acc + 3 * (i + (long)dy * W);
        for (int dx = x0; dx <= x1; ++dx) {
          const float kw = kr[dx];
          wr[dx] += kw;
          ar[3 * dx] += kw * c0;
          ar[3 * dx + 1] += kw * c1;
          ar[3 * dx + 2] += kw * c2;
        }
      }
    }
    row_done(y, H);
  }
  std::printf("\n");

  unsigned char *o = res->data;
  for (long i = 0; i < (long)W * H; ++i, o += 3) {
    const float s = ws[i];
    if (s == 0.0f) {
      o[0] = o[1] = o[2] = 0;
      continue;
    }
    o[0] = capped_byte(acc[3 * i] / s);
    o[1] = capped_byte(acc[3 * i + 1] / s);
    o[2] = capped_byte(acc[3 * i + 2] / s);
  }
  std::free(curve);
  free_img(wsum);
  free_img(accu);
  return res;
}

void zgamma(Img *img, const Img *back, float gamma) {
  // The new byte depends only on the mask value and the old byte.
  static unsigned char lut[256][256];
  for (int b = 0; b < 256; ++b) {
    const float p = (float)(1.0 - (double)((1.0f - gamma) * (float)b) / 255.0);
    for (int v = 0; v < 256; ++v) {
      const double nv = 255.0 * std::pow((double)v / 255.0, (double)p);
      // A gamma that is not a number gives 0, not an undefined conversion.
      lut[b][v] = nv >= 255.0 ? 255 : (nv >= 0.0 ? (unsigned char)(int)nv : 0);
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
