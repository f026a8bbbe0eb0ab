#include "beamsword_reference.h"

#include <cmath>
#include <vector>

namespace beamsword_reference {

void expand(const unsigned char *src, unsigned char *dst, int w, int h, int expand,
            int threshold, const unsigned char colour[3]) {
  auto fill = [&](int x, int y) {
    if (x < 0 || x >= w || y < 0 || y >= h) return;
    for (int c = 0; c < 3; ++c) dst[4 * (y * w + x) + c] = colour[c];
  };
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      const unsigned char *s = src + 4 * (y * w + x);
      if (!(s[0] > threshold || s[1] > threshold || s[2] > threshold)) continue;
      fill(x, y);
      for (int k = 1; k < expand; ++k)
        for (int l = 1; l < expand; ++l) {
          fill(x + k, y + l);
          fill(x - k, y + l);
          fill(x + k, y - l);
          fill(x - k, y - l);
        }
    }
}

void blur(const unsigned char *src, unsigned char *dst, int w, int h, float amount, int quality) {
  if (amount <= 0.0f) return;
  const int n = (int)((float)quality * amount);
  const float K = (float)(-1.0 / (3.14159 * 2.0 * amount * amount));
  std::vector<float> weight;
  float sum = 0;
  for (int i = -n; i <= n; ++i) {
    weight.push_back((float)std::exp((double)(K * (float)(i * i))));
    sum += weight.back();
  }
  for (float &v : weight) v = v / sum;
  auto clampi = [](int v, int hi) { return v < 0 ? 0 : (v > hi ? hi : v); };
  std::vector<unsigned char> tmp((size_t)w * h * 4);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y)
      for (int c = 0; c < 3; ++c) {
        float acc = 0;
        for (int i = -n; i <= n; ++i)
          acc += weight[i + n] * (float)src[4 * (y * w + clampi(x + i, w - 1)) + c];
        tmp[4 * (y * w + x) + c] = (unsigned char)(int)acc;
      }
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y)
      for (int c = 0; c < 3; ++c) {
        float acc = 0;
        for (int i = -n; i <= n; ++i)
          acc += weight[i + n] * (float)tmp[4 * (clampi(y + i, h - 1) * w + x) + c];
        dst[4 * (y * w + x) + c] = (unsigned char)(int)acc;
      }
}

namespace {

void boost(unsigned char *map, int w, int h) {
  for (int i = 0; i < w * h; ++i) {
    unsigned char *d = map + 4 * i;
    const int intensity = d[0] + d[1] + d[2];
    if (intensity <= 0) continue;
    for (int c = 0; c < 3; ++c) {
      const float v = (float)d[c] * 1.5f * (float)intensity / 255.0f;
      d[c] = (unsigned char)(int)(v <= 255.0f ? v : 255.0f);
    }
  }
}

void add(const unsigned char *a, const unsigned char *b, unsigned char *dst, int w, int h) {
  for (int i = 0; i < w * h * 4; ++i) {
    const int s = a[i] + b[i];
    dst[i] = (unsigned char)(s <= 255 ? s : 255);
  }
}

}  // namespace

void effect(const unsigned char *in, unsigned char *out, int w, int h, const unsigned char colour[3],
            int expand_by, int aura, float core, int quality) {
  std::vector<unsigned char> mark((size_t)w * h * 4), wide((size_t)w * h * 4);
  expand(in, mark.data(), w, h, expand_by, 1, colour);
  boost(mark.data(), w, h);
  blur(mark.data(), wide.data(), w, h, (float)(2 * aura), quality);
  blur(mark.data(), mark.data(), w, h, (float)aura, quality);
  add(mark.data(), wide.data(), out, w, h);
  add(in, out, out, w, h);
  blur(out, out, w, h, core, quality);
}

}  // namespace beamsword_reference
