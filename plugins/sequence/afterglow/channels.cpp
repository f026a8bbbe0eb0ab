// afterglow: the colour and depth channels of the glow and the composition
// of the output picture.

#include "afterglow.h"
#include "clamps.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace afterglow_impl {

namespace {

using seqfx_common::clamp;

// Nearness of a depth value: about 1 at depth 0, 0 at the far limit and
// sqrt(2) at the near limit.
inline double nearness(int z) { return std::sqrt(1.0 + (double)z * (-1.0 / 2147483648.0)); }

// (int)v stored as a byte; the common in-range case without the checks.
inline unsigned char byte_of(double v) {
  return (unsigned char)(v >= 0.0 && v < 256.0 ? (int)v : truncate_to_int(v));
}

}  // namespace

int truncate_to_int(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT_MAX;
  if (v <= -2147483648.0) return INT_MIN;
  return (int)v;
}

void compute_colors(int channel, float gain, float inside, float outside, float decay, int width,
                    int height, std::size_t count, const unsigned char *pixels,
                    const float *weights, const float *mask, float *result, float *temp,
                    bool use_background) {
  const float g1 = gain + 1.0f;
  const unsigned char *px = pixels;
  for (std::size_t k = 0; k < count; ++k, px += 4)
    result[k] = (((float)px[3] * i255) * mask[k]) * (((float)px[channel] * g1) * i255);

  filter_plane(decay, result, result, temp, width, height);

  px = pixels;
  for (std::size_t k = 0; k < count; ++k, px += 4) {
    // A transparent pixel takes the pure glow unless the background counts.
    if (px[3] == 0 && !use_background) continue;
    const float v = result[k];
    const float e = (float)px[channel] * i255;
    if (e >= v) {
      result[k] = e;  // the pixel is already brighter than its glow
    } else {
      const float w = clamp(weights[k], 0.0f, 1.0f);
      const float kk = mask[k] == 0.0f ? outside : inside;
      result[k] = v + (1.0f - w * kk) * (e - v);
    }
  }
}

void compute_zbuf(float inside, float outside, float decay, int width, int height,
                  std::size_t count, const int *zin, int *zout, const float *weights,
                  const float *mask, float *scratch, float *temp) {
  for (std::size_t k = 0; k < count; ++k) scratch[k] = (float)((double)mask[k] * nearness(zin[k]));

  filter_plane(decay, scratch, scratch, temp, width, height);

  for (std::size_t k = 0; k < count; ++k) {
    const int z = zin[k];
    const float s = (float)nearness(z);
    const float d = scratch[k];
    if (s >= d || d != d) {
      zout[k] = z;
      continue;
    }
    const float w = clamp(weights[k], 0.0f, 1.0f);
    const float kk = mask[k] == 0.0f ? outside : inside;
    const float dd = d + (1.0f - w * kk) * (s - d);
    // A nearness beyond the near limit (the filtered sum can exceed it)
    // ends at the nearest depth instead of overflowing the int.
    zout[k] = truncate_to_int(((double)(dd * dd) - 1.0) * -2147483648.0);
  }
}

void compose(std::size_t count, const float *rij, const float *gij, const float *bij,
             const float *aij, const unsigned char *in, unsigned char *out) {
  for (std::size_t k = 0; k < count; ++k, in += 4, out += 4) {
    const float r = rij[k], g = gij[k], b = bij[k];
    const float m = std::max(r, std::max(g, b));
    // A channel above full brightness scales all three: the hue stays.
    const double scale = m <= 1.0f ? 255.0 : 255.0 / m;
    out[0] = byte_of(scale * r + 0.5);
    out[1] = byte_of(scale * g + 0.5);
    out[2] = byte_of(scale * b + 0.5);
    const int a = byte_of(clamp(aij[k], 0.0f, 1.0f) * 255.0 + 0.5);
    out[3] = (unsigned char)(in[3] > a ? in[3] : a);
  }
}

float weight_view(std::size_t count, const float *aij, const float *mask, unsigned char *out) {
  float largest = -1.0f;
  for (std::size_t k = 0; k < count; ++k, out += 4) {
    const float a = aij[k];
    if (a > largest) largest = a;
    double g = a * 255.0;
    g = g < 0.0 ? 0.0 : (g > 255.0 ? 255.0 : g);
    unsigned char grey = byte_of(g + 0.5);
    if (mask[k] != 0.0f) {
      // The first and the last pixel have a missing neighbour, taken as 0.
      const float prev = k > 0 ? mask[k - 1] : 0.0f;
      const float next = k + 1 < count ? mask[k + 1] : 0.0f;
      if (prev == 0.0f || next == 0.0f) grey = 0;
    }
    out[0] = out[1] = out[2] = grey;
    out[3] = 255;
  }
  return largest;
}

}  // namespace afterglow_impl
