#include "kernels.h"
#include "clamps.h"

#include <cmath>
#include <cstdlib>

namespace dof {

using seqfx_common::capped_byte;

// 1 / (x^8 + 1) in double, x^8 by the library's power function.
float zigma(float x) { return (float)(1.0 / (std::pow((double)x, 8.0) + 1.0)); }

Mask *gauss_mask(float r) {
  const int e = (int)((double)r + 1.0);
  Mask *m = alloc_mask(e);
  if (!m) return nullptr;
  const float r2 = r * r;
  float sum = 0.0f;
  float *w = m->data;
  for (int dy = -e; dy <= e; ++dy)
    for (int dx = -e; dx <= e; ++dx) {
      *w = zigma((float)(dx * dx + dy * dy) / r2);
      sum += *w++;
    }
  m->factor = 1.0f / sum;
  norm_mask(m);
  return m;
}

Mask **init_masks(int n, float m) {
  Mask **ladder = static_cast<Mask **>(std::calloc((size_t)n, sizeof(Mask *)));
  if (!ladder) return nullptr;
  const float step = m / 64.0f;
  float r = 0.1f;
  for (int k = 0; k < n; ++k) {
    ladder[k] = gauss_mask(r);
    if (!ladder[k]) {
      free_masks(ladder, k);
      return nullptr;
    }
    r += step;
  }
  return ladder;
}

void free_masks(Mask **ladder, int n) {
  if (!ladder) return;
  for (int k = 0; k < n; ++k) free_mask(ladder[k]);
  std::free(ladder);
}

namespace {

// One line of the blur, src[i * stride] for i = 0..len-1 into dst. Within
// c of either end only the weights that fall inside the line are used and
// the sum is divided by their total.
void edge_pixel(const unsigned char *src, long stride, int len, int i, const float *w, int c,
                unsigned char *dst) {
  const int lo = i - c < 0 ? 0 : i - c;
  const int hi = i + c > len - 1 ? len - 1 : i + c;
  float acc = 0.0f, sum = 0.0f;
  for (int d = lo; d <= hi; ++d) {
    acc += w[d - i + c] * (float)src[d * stride];
    sum += w[d - i + c];
  }
  *dst = capped_byte(acc / sum);
}

}  // namespace

// Compiled twice, the copy for processors with eight-lane registers chosen
// at load time; the loops add the same products in the same order either way.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target_clones("avx2", "default")))
#endif
void gauss_blur(Img *img, float r) {
  const int c = (int)(1.5 * (double)r + 1.5);
  const int n = 2 * c + 1;
  const int W = img->width, H = img->height;
  if (W <= n || H <= n) {
    df_warn("not blurred - image too small");
    return;
  }
  float *w = static_cast<float *>(std::malloc((size_t)n * sizeof(float)));
  float *acc = static_cast<float *>(std::malloc((size_t)W * sizeof(float)));
  Img *t = w && acc ? alloc_img(W, H, kMask) : nullptr;
  if (!t) {
    df_warn("image not blurred - could not malloc");
    std::free(w);
    std::free(acc);
    return;
  }
  const float c2 = (float)(c * c);
  float sum = 0.0f;
  for (int i = -c; i <= c; ++i) {
    w[i + c] = (float)std::exp((double)((float)(i * i) * -4.0f / c2));
    sum += w[i + c];
  }
  for (int i = 0; i < n; ++i) w[i] /= sum;

  // Horizontal pass into t. The middle of a row sums its taps in the order
  // k = -c..c for every pixel; running k in the outer loop keeps that order
  // per pixel while the pixels of the row are independent of each other.
  for (int y = 0; y < H; ++y) {
    const unsigned char *src = img->data + (long)y * W;
    unsigned char *dst = t->data + (long)y * W;
    for (int x = 0; x < c; ++x) edge_pixel(src, 1, W, x, w, c, dst + x);
    for (int x = W - c; x < W; ++x) edge_pixel(src, 1, W, x, w, c, dst + x);
    const int m = W - 2 * c;  // pixels c..W-c-1
    for (int x = 0; x < m; ++x) acc[x] = 0.0f;
    for (int k = 0; k < n; ++k) {
      const float wk = w[k];
      const unsigned char *s = src + k;
      for (int x = 0; x < m; ++x) acc[x] += wk * (float)s[x];
    }
    for (int x = 0; x < m; ++x) dst[c + x] = capped_byte(acc[x]);
  }

  // Vertical pass from t back into the mask, the same way by columns.
  for (int y = 0; y < H; ++y) {
    unsigned char *dst = img->data + (long)y * W;
    if (y < c || y >= H - c) {
      for (int x = 0; x < W; ++x) edge_pixel(t->data + x, W, H, y, w, c, dst + x);
      continue;
    }
    for (int x = 0; x < W; ++x) acc[x] = 0.0f;
    for (int k = 0; k < n; ++k) {
      const float wk = w[k];
      const unsigned char *s = t->data + (long)(y - c + k) * W;
      for (int x = 0; x < W; ++x) acc[x] += wk * (float)s[x];
    }
    for (int x = 0; x < W; ++x) dst[x] = capped_byte(acc[x]);
  }

  std::free(w);
  std::free(acc);
  free_img(t);
}

}  // namespace dof
