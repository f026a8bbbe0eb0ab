#include "highlights.h"

#include <cstddef>

void RVIsolateHighlights(const unsigned char *src, unsigned char *dst, int width, int height,
                         int threshold, float boost, float clamp) {
  if (width <= 0 || height <= 0) return;
  const float limit = clamp * 255.0f;
  const std::size_t count = (std::size_t)width * (std::size_t)height;
  for (std::size_t i = 0; i < count; ++i, src += 4, dst += 4) {
    const int r = src[0], g = src[1], b = src[2];  // read before dst is written
    const int intensity = r + g + b - threshold;
    if (intensity <= 0) {
      dst[0] = dst[1] = dst[2] = 0;
      continue;
    }
    const float fi = (float)intensity;
    const int c[3] = {r, g, b};
    for (int k = 0; k < 3; ++k) {
      const float v = (float)c[k] * boost * fi / 255.0f;
      dst[k] = (unsigned char)(int)(limit >= v ? v : limit);
    }
  }
}

void RVAddBitmaps(const unsigned char *a, const unsigned char *b, unsigned char *dst, int width,
                  int height) {
  if (width <= 0 || height <= 0) return;
  const std::size_t bytes = (std::size_t)width * (std::size_t)height * 4;
  for (std::size_t i = 0; i < bytes; ++i) {
    const unsigned s = (unsigned)a[i] + b[i];
    dst[i] = (unsigned char)(s > 255 ? 255 : s);
  }
}
