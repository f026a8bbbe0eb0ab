#include "expand.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <emmintrin.h>

void fill(unsigned char *dst, int width, int column, int row, unsigned char r, unsigned char g,
          unsigned char b) {
  unsigned char *p = dst + ((std::size_t)row * (std::size_t)width + (std::size_t)column) * 4;
  p[0] = r;
  p[1] = g;
  p[2] = b;
}

namespace {

inline bool is_source(const unsigned char *px, int threshold) {
  return px[0] > threshold || px[1] > threshold || px[2] > threshold;
}

// Every source fills its squares pixel by pixel, columns outer, rows inner.
void expand_directly(const unsigned char *src, unsigned char *dst, int width, int height,
                     int expand, int threshold, unsigned char r, unsigned char g,
                     unsigned char b) {
  for (int x = 0; x < width; ++x)
    for (int y = 0; y < height; ++y) {
      if (!is_source(src + ((std::size_t)y * width + x) * 4, threshold)) continue;
      fill(dst, width, x, y, r, g, b);
      for (int k = 1; k < expand; ++k)
        for (int l = 1; l < expand; ++l) {
          const bool right = x + k < width, left = x - k >= 0;
          if (y + l < height) {
            if (right) fill(dst, width, x + k, y + l, r, g, b);
            if (left) fill(dst, width, x - k, y + l, r, g, b);
          }
          if (y - l >= 0) {
            if (right) fill(dst, width, x + k, y - l, r, g, b);
            if (left) fill(dst, width, x - k, y - l, r, g, b);
          }
        }
    }
}

}  // namespace

void expandPixels(const unsigned char *src, unsigned char *dst, int width, int height, int expand,
                  int threshold, unsigned char r, unsigned char g, unsigned char b) {
  if (width <= 0 || height <= 0) return;
  const std::size_t W = (std::size_t)width, H = (std::size_t)height;
  const std::uint32_t lit = (std::uint32_t)r | (std::uint32_t)g << 8 | (std::uint32_t)b << 16;
  auto put = [&](std::size_t i, bool on) {
    const std::uint32_t v = on ? lit : 0u;
    std::memcpy(dst + 4 * i, &v, 4);
  };
  if (expand <= 1) {
    // A pixel is a source when one of its R, G, B bytes stays above
    // threshold after subtracting it with saturation.
    const std::size_t count = W * H;
    std::size_t i = 0;
    if (threshold >= 0 && threshold <= 255) {
      const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
      const __m128i thr = _mm_set1_epi8((char)(unsigned char)threshold), zero = _mm_setzero_si128();
      const __m128i colour = _mm_set1_epi32((int)lit);
      for (; i + 4 <= count; i += 4) {
        const __m128i px = _mm_and_si128(_mm_loadu_si128((const __m128i *)(src + 4 * i)), rgb);
        const __m128i dark = _mm_cmpeq_epi32(_mm_subs_epu8(px, thr), zero);
        _mm_storeu_si128((__m128i *)(dst + 4 * i), _mm_andnot_si128(dark, colour));
      }
    }
    for (; i < count; ++i) put(i, is_source(src + 4 * i, threshold));
    return;
  }
  // Every fill writes the same colour, so the result is the set of pixels
  // that some source reaches, whatever the order. Pixel (x, y) is reached
  // when it is a source or when a source lies at a distance 1 .. e = expand-1
  // in both directions: the sources of the square of side 2e + 1 around it,
  // less those on its own column and row. A table of running counts gives
  // each of these in four look-ups.
  const std::uint64_t cells = (std::uint64_t)(W + 1) * (H + 1);
  std::uint32_t *sum = nullptr;
  if (cells <= (std::uint64_t)SIZE_MAX / sizeof(std::uint32_t))
    sum = (std::uint32_t *)std::malloc((std::size_t)cells * sizeof(std::uint32_t));
  if (!sum) {
    std::memset(dst, 0, W * H * 4);
    expand_directly(src, dst, width, height, expand, threshold, r, g, b);
    return;
  }
  const std::size_t S = W + 1;  // sum[(y + 1) * S + x + 1]: sources in [0, x] x [0, y]
  for (std::size_t x = 0; x <= W; ++x) sum[x] = 0;
  for (std::size_t y = 0; y < H; ++y) {
    std::uint32_t across = 0;
    sum[(y + 1) * S] = 0;
    for (std::size_t x = 0; x < W; ++x) {
      across += is_source(src + (y * W + x) * 4, threshold) ? 1u : 0u;
      sum[(y + 1) * S + x + 1] = sum[y * S + x + 1] + across;
    }
  }
  // Sources in columns x0 .. x1-1 and rows y0 .. y1-1 (unsigned wrap-around
  // cancels in the sum).
  auto box = [&](std::size_t x0, std::size_t x1, std::size_t y0, std::size_t y1) {
    return sum[y1 * S + x1] - sum[y0 * S + x1] - sum[y1 * S + x0] + sum[y0 * S + x0];
  };
  const std::size_t e = (std::size_t)expand - 1;
  for (std::size_t y = 0; y < H; ++y) {
    const std::size_t y0 = y >= e ? y - e : 0, y1 = y + e + 1 < H ? y + e + 1 : H;
    for (std::size_t x = 0; x < W; ++x) {
      const std::size_t x0 = x >= e ? x - e : 0, x1 = x + e + 1 < W ? x + e + 1 : W;
      const std::uint32_t own = box(x, x + 1, y, y + 1);
      const std::uint32_t diagonal =
          box(x0, x1, y0, y1) - box(x, x + 1, y0, y1) - box(x0, x1, y, y + 1) + own;
      put(y * W + x, own || diagonal);
    }
  }
  std::free(sum);
}
