#include "gaussian_blur.h"

#include "weighted_sum.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using beam_blur::stored_byte;
using beam_blur::weighted_sum;

namespace {

// Columns per strip of the vertical pass.
constexpr int kStrip = 64;

void *alloc_floats(std::uint64_t count) {
  const std::uint64_t bytes = count * sizeof(float);
  if (count == 0 || bytes / sizeof(float) != count || bytes > (std::uint64_t)SIZE_MAX) return nullptr;
  return std::malloc((std::size_t)bytes);
}

// Weights of the offsets -n .. n (entry k for offset k - n), normalised by
// their sum taken in that order.
void make_weights(float *weight, int n, float amount) {
  const float K = (float)(-1.0 / (3.14159 * 2.0 * amount * amount));
  float sum = 0.0f;
  for (int i = -n; i <= n; ++i) {
    weight[i + n] = (float)std::exp((double)(K * (float)(i * i)));
    sum += weight[i + n];
  }
  for (int k = 0; k <= 2 * n; ++k) weight[k] = weight[k] / sum;
}

void copy_colour(const unsigned char *src, unsigned char *dst, std::size_t pixels) {
  if (src == dst) return;
  for (std::size_t i = 0; i < pixels; ++i)
    for (int c = 0; c < 3; ++c) dst[i * 4 + c] = src[i * 4 + c];
}

}  // namespace

int gaussianBlur(const unsigned char *src, unsigned char *dst, int width, int height,
                 float amount, int quality) {
  if (!(amount > 0.0f)) return 0;
  if (width <= 0 || height <= 0) return 1;
  const std::size_t W = (std::size_t)width;
  const float fn = (float)quality * amount;
  // Below 1 the kernel is the one tap. A window longer than any frame (only
  // outside the table, where i * i could overflow) is refused like memory
  // that cannot be had.
  const int n = fn >= 1.0f ? (fn <= 40000.0f ? (int)fn : -1) : 0, taps = 2 * n + 1;
  if (n < 0) {
    copy_colour(src, dst, W * (std::size_t)height);
    return 0;
  }

  // The horizontal result: one float plane per channel holding the stored
  // bytes. It is complete before the vertical pass writes dst, so src may
  // be dst.
  const std::size_t plane_size = W * (std::size_t)height;
  float *inter = (float *)alloc_floats((std::uint64_t)plane_size * 3);
  // weights, a row with n repeated edge pixels at both ends, one output
  // line; the line pointers of the horizontal taps and the rows of a plane
  // with n repeated edge rows at both ends.
  float *scratch = (float *)alloc_floats((std::uint64_t)taps + (W + 2 * n) + W);
  const float **lines =
      (const float **)std::malloc(sizeof(float *) * ((std::size_t)taps + height + 2 * n));
  if (!inter || !scratch || !lines) {
    std::free(inter);
    std::free(scratch);
    std::free(lines);
    copy_colour(src, dst, plane_size);
    return 0;
  }
  float *weight = scratch;
  float *pad = weight + taps;
  float *strip = pad + W + 2 * n;
  make_weights(weight, n, amount);
  const float **across = lines, **rows = lines + taps;
  for (int k = 0; k < taps; ++k) across[k] = pad + k;  // pixel x reads x - n + k

  for (int y = 0; y < height; ++y) {
    const unsigned char *row = src + (std::size_t)y * W * 4;
    for (int c = 0; c < 3; ++c) {
      for (int k = 0; k < n; ++k) {
        pad[k] = row[c];
        pad[n + W + k] = row[(W - 1) * 4 + c];
      }
      for (std::size_t x = 0; x < W; ++x) pad[n + x] = row[x * 4 + c];
      float *out = inter + c * plane_size + (std::size_t)y * W;
      weighted_sum(across, weight, taps, 0, width, out);
      for (std::size_t x = 0; x < W; ++x) out[x] = (float)stored_byte(out[x]);
    }
  }

  // Vertical pass in strips of columns, bottom to top, so that the rows a
  // strip's window spans stay in the cache: output row y reads rows[y + k],
  // which is row y - n + k held inside the image.
  for (int c = 0; c < 3; ++c) {
    const float *plane = inter + c * plane_size;
    for (int i = 0; i < height + 2 * n; ++i) {
      const int r = i - n < 0 ? 0 : (i - n >= height ? height - 1 : i - n);
      rows[i] = plane + (std::size_t)r * W;
    }
    for (int x0 = 0; x0 < width; x0 += kStrip) {
      const int x1 = x0 + kStrip < width ? x0 + kStrip : width;
      for (int y = 0; y < height; ++y) {
        weighted_sum(rows + y, weight, taps, x0, x1, strip);
        unsigned char *out = dst + ((std::size_t)y * W + (std::size_t)x0) * 4 + c;
        for (int x = x0; x < x1; ++x, out += 4) *out = stored_byte(strip[x]);
      }
    }
  }

  std::free(lines);
  std::free(scratch);
  std::free(inter);
  return 1;
}
