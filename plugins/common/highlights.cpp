// Highlight isolation and saturating addition of pixel arrays, the first
// and last passes of the glow-like effects.

#include "highlights.h"

#include "clamps.h"

#include <cstddef>
#include <cstdlib>

namespace {

using seqfx_common::low_byte;

// The highlight value of one channel byte c at a positive intensity.
inline unsigned char highlight(int c, int intensity, float boost, float limit) {
  const float v = (float)c * boost * (float)intensity / 255.0f;
  return low_byte(limit >= v ? v : limit);
}

}  // namespace

namespace seqfx_common {

void isolate_highlights(const unsigned char *src, unsigned char *dst, int width, int height,
                        int threshold, float boost, float clamp) {
  if (width <= 0 || height <= 0) return;
  const float limit = clamp * 255.0f;
  const std::size_t count = (std::size_t)width * (std::size_t)height;
  // A value depends only on the channel byte and the intensity: on large
  // images every value is worked out once, into a table of 256 per
  // intensity with a black row for the intensities up to 0, and the pixels
  // look theirs up.
  const int top = 765 - threshold;  // the largest intensity
  unsigned char *table = nullptr;
  if (top >= 1 && top <= 765 && count >= (std::size_t)top * 64)
    table = (unsigned char *)std::malloc((std::size_t)(top + 1) * 256);
  if (table) {
    for (int c = 0; c < 256; ++c) table[c] = 0;
    for (int i = 1; i <= top; ++i)
      for (int c = 0; c < 256; ++c) table[i * 256 + c] = highlight(c, i, boost, limit);
    for (std::size_t i = 0; i < count; ++i, src += 4, dst += 4) {
      const int r = src[0], g = src[1], b = src[2];  // read before dst is written
      const int intensity = r + g + b - threshold;
      const unsigned char *row = table + (std::size_t)(intensity > 0 ? intensity : 0) * 256;
      dst[0] = row[r];
      dst[1] = row[g];
      dst[2] = row[b];
    }
    std::free(table);
    return;
  }
  for (std::size_t i = 0; i < count; ++i, src += 4, dst += 4) {
    const int r = src[0], g = src[1], b = src[2];  // read before dst is written
    const int intensity = r + g + b - threshold;
    if (intensity <= 0) {
      dst[0] = dst[1] = dst[2] = 0;
    } else {
      dst[0] = highlight(r, intensity, boost, limit);
      dst[1] = highlight(g, intensity, boost, limit);
      dst[2] = highlight(b, intensity, boost, limit);
    }
  }
}

void add_saturating(const unsigned char *a, const unsigned char *b, unsigned char *dst, int width,
                    int height) {
  if (width <= 0 || height <= 0) return;
  const std::size_t bytes = (std::size_t)width * (std::size_t)height * 4;
  for (std::size_t i = 0; i < bytes; ++i) {
    const unsigned s = (unsigned)a[i] + b[i];
    dst[i] = (unsigned char)(s > 255 ? 255 : s);
  }
}

}  // namespace seqfx_common
