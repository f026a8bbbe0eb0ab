#include "glow_reference.h"

#include <cmath>
#include <vector>

namespace glow_reference {

void isolate(const unsigned char *src, unsigned char *dst, int w, int h, int threshold,
             float boost, float clamp) {
  for (int i = 0; i < w * h; ++i) {
    const unsigned char *s = src + 4 * i;
    unsigned char *d = dst + 4 * i;
    const int intensity = s[0] + s[1] + s[2] - threshold;
    if (intensity <= 0) {
      d[0] = d[1] = d[2] = 0;
      continue;
    }
    const float limit = clamp * 255.0f;
    unsigned char c[3] = {s[0], s[1], s[2]};
    for (int k = 0; k < 3; ++k) {
      float v = (float)c[k] * boost;
      v = v * (float)intensity;
      v = v / 255.0f;
      d[k] = (unsigned char)(int)(limit >= v ? v : limit);
    }
  }
}

namespace {

// One pass along lines of len pixels: at(line, i) is the address of pixel i.
template <typename Src, typename Dst>
void pass(int lines, int len, int n, const std::vector<float> &weight, Src src, Dst dst) {
  for (int l = 0; l < lines; ++l) {
    for (int x = 0; x < n; ++x) {
      float left[3] = {0, 0, 0}, right[3] = {0, 0, 0};
      for (int k = 0; k < 2 * n; ++k) {
        const int p = x - n + k;
        if (p < 0 || p >= len) continue;
        for (int c = 0; c < 3; ++c) {
          left[c] += (float)src(l, p)[c] * weight[k];
          right[c] += (float)src(l, len - 1 - p)[c] * weight[k];
        }
      }
      // Stores that would fall outside the line are dropped.
      if (x < len)
        for (int c = 0; c < 3; ++c) dst(l, x)[c] = (unsigned char)(int)left[c];
      if (len - 1 - x >= 0)
        for (int c = 0; c < 3; ++c) dst(l, len - 1 - x)[c] = (unsigned char)(int)right[c];
    }
    for (int x = n; x < len - n; ++x) {
      float acc[3] = {0, 0, 0};
      for (int k = 0; k < 2 * n; ++k)
        for (int c = 0; c < 3; ++c) acc[c] += (float)src(l, x - n + k)[c] * weight[k];
      for (int c = 0; c < 3; ++c) dst(l, x)[c] = (unsigned char)(int)acc[c];
    }
  }
}

}  // namespace

void blur(unsigned char *map, int w, int h, float distance, int quality) {
  if (distance <= 0.0f) return;
  const int n = (int)((float)(quality + 1) * distance);
  std::vector<float> weight(2 * n);
  const float K = (float)(-1.0 / (3.14159 * 2.0 * distance * distance));
  float last = 0;
  for (int i = 0; i < n; ++i) {
    last = (float)std::exp((double)(K * (float)(i * i)));
    weight[n - i] = weight[n + i] = last;
  }
  weight[0] = last;
  float sum = 0;
  for (float v : weight) sum += v;
  for (float &v : weight) v = v / sum;

  std::vector<unsigned char> tmp((size_t)w * h * 4);
  unsigned char *t = tmp.data();
  auto row_map = [&](int y, int x) { return map + 4 * (y * w + x); };
  auto row_tmp = [&](int y, int x) { return t + 4 * (y * w + x); };
  auto col_map = [&](int x, int y) { return map + 4 * (y * w + x); };
  auto col_tmp = [&](int x, int y) { return t + 4 * (y * w + x); };
  pass(h, w, n, weight, row_map, row_tmp);
  pass(w, h, n, weight, col_tmp, col_map);
}

void add(const unsigned char *a, const unsigned char *b, unsigned char *dst, int w, int h) {
  for (int i = 0; i < w * h * 4; ++i) {
    const int s = a[i] + b[i];
    dst[i] = (unsigned char)(s <= 255 ? s : 255);
  }
}

}  // namespace glow_reference
