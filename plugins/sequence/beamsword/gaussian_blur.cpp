#include "gaussian_blur.h"

#include "scratch.h"
#include "weighted_sum.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using seqfx_common::alloc_floats;
using seqfx_common::stored_byte;
using seqfx_common::weighted_sum;

namespace {

// Columns per strip of the vertical pass, pixels per block of the
// horizontal one.
constexpr int kStrip = 64;
constexpr int kBlock = 32;

// Weights of the offsets -n .. n (entry k for offset k - n), normalised by
// their sum taken in that order. The centre weight is exp(0) = 1; it is set
// as such because a size so small that K becomes infinite would make it
// exp(-inf * 0), not a number.
void make_weights(float *weight, int n, float amount) {
  const float K = (float)(-1.0 / (3.14159 * 2.0 * amount * amount));
  float sum = 0.0f;
  for (int i = -n; i <= n; ++i) {
    weight[i + n] = i == 0 ? 1.0f : (float)std::exp((double)(K * (float)(i * i)));
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
  float *inter = alloc_floats((std::uint64_t)plane_size * 3);
  // weights, the sum of a flat window of each byte value, a row with n
  // repeated edge pixels at both ends, one output line; the line pointers of
  // the horizontal taps and the rows of a plane with n repeated edge rows at
  // both ends; the ends of runs of equal values along a padded row and
  // along a padded column of strips.
  const std::size_t padded = W + 2 * (std::size_t)n, tall = (std::size_t)height + 2 * n;
  float *scratch = alloc_floats((std::uint64_t)taps + 256 + padded + W);
  const float **lines = (const float **)std::malloc(sizeof(float *) * ((std::size_t)taps + tall));
  int *runs = (int *)std::malloc(sizeof(int) * (padded + (std::size_t)height + 2 * tall));
  if (!inter || !scratch || !lines || !runs) {
    std::free(inter);
    std::free(scratch);
    std::free(lines);
    std::free(runs);
    copy_colour(src, dst, plane_size);
    return 0;
  }
  float *weight = scratch;
  float *flat = weight + taps;
  float *pad = flat + 256;
  float *strip = pad + padded;
  make_weights(weight, n, amount);
  const float **across = lines, **rows = lines + taps;
  for (int k = 0; k < taps; ++k) across[k] = pad + k;  // pixel x reads x - n + k
  // A window of one value v sums to flat[v], the same terms in the same
  // order. Marks are flat colour on black, so most windows are flat.
  for (int v = 0; v < 256; ++v) {
    float acc = 0.0f;
    for (int k = 0; k < taps; ++k) acc += (float)v * weight[k];
    flat[v] = acc;
  }
  int *run_x = runs;                 // padded row: last index of the run from i
  int *strip_value = run_x + padded;  // per row: the strip's one value, or -1
  int *value_y = strip_value + height, *run_y = value_y + tall;

  for (int y = 0; y < height; ++y) {
    const unsigned char *row = src + (std::size_t)y * W * 4;
    for (int c = 0; c < 3; ++c) {
      for (int k = 0; k < n; ++k) {
        pad[k] = row[c];
        pad[n + W + k] = row[(W - 1) * 4 + c];
      }
      for (std::size_t x = 0; x < W; ++x) pad[n + x] = row[x * 4 + c];
      run_x[padded - 1] = (int)padded - 1;
      for (std::size_t i = padded - 1; i-- > 0;) run_x[i] = pad[i] == pad[i + 1] ? run_x[i + 1] : (int)i;
      float *out = inter + c * plane_size + (std::size_t)y * W;
      // Pixels x0 .. x1-1 read pad[x0 .. x1 - 1 + 2n].
      for (int x0 = 0; x0 < width; x0 += kBlock) {
        const int x1 = x0 + kBlock < width ? x0 + kBlock : width;
        if (run_x[x0] >= x1 - 1 + 2 * n) {
          const float v = (float)stored_byte(flat[(int)pad[x0]]);
          for (int x = x0; x < x1; ++x) out[x] = v;
        } else {
          weighted_sum(across, weight, taps, x0, x1, out);
          for (int x = x0; x < x1; ++x) out[x] = (float)stored_byte(out[x]);
        }
      }
    }
  }

  // Vertical pass in strips of columns, bottom to top, so that the rows a
  // strip's window spans stay in the cache: output row y reads rows[y + k],
  // which is row y - n + k held inside the image.
  for (int c = 0; c < 3; ++c) {
    const float *plane = inter + c * plane_size;
    for (std::size_t i = 0; i < tall; ++i) {
      const int r = (int)i - n < 0 ? 0 : ((int)i - n >= height ? height - 1 : (int)i - n);
      rows[i] = plane + (std::size_t)r * W;
    }
    for (int x0 = 0; x0 < width; x0 += kStrip) {
      const int x1 = x0 + kStrip < width ? x0 + kStrip : width;
      for (int r = 0; r < height; ++r) {
        const float *p = plane + (std::size_t)r * W;
        int x = x0 + 1;
        while (x < x1 && p[x] == p[x0]) ++x;
        strip_value[r] = x == x1 ? (int)p[x0] : -1;
      }
      for (std::size_t i = 0; i < tall; ++i) {
        const int r = (int)i - n < 0 ? 0 : ((int)i - n >= height ? height - 1 : (int)i - n);
        value_y[i] = strip_value[r];
      }
      run_y[tall - 1] = (int)tall - 1;
      for (std::size_t i = tall - 1; i-- > 0;)
        run_y[i] = value_y[i] == value_y[i + 1] ? run_y[i + 1] : (int)i;
      for (int y = 0; y < height; ++y) {
        unsigned char *out = dst + ((std::size_t)y * W + (std::size_t)x0) * 4 + c;
        if (value_y[y] >= 0 && run_y[y] >= y + 2 * n) {
          const unsigned char v = stored_byte(flat[value_y[y]]);
          for (int x = x0; x < x1; ++x, out += 4) *out = v;
          continue;
        }
        weighted_sum(rows + y, weight, taps, x0, x1, strip);
        for (int x = x0; x < x1; ++x, out += 4) *out = stored_byte(strip[x]);
      }
    }
  }

  std::free(runs);
  std::free(lines);
  std::free(scratch);
  std::free(inter);
  return 1;
}
