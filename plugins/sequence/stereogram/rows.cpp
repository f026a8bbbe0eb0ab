// stereogram: building the rows. The coordinate row holds, for each pixel
// of the current row, the position in the dot row whose colour it shows;
// each pixel repeats the pixel one separation to its left, one period on.

#include "stereogram.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace stereogram_impl {

namespace {

// Grey of the depth itself, nearest white, farthest black; alpha 0.
void grey_row(const int *z, unsigned char *dst, int cols) {
  for (int x = 0; x < cols; ++x) {
    const unsigned biased = (unsigned)z[x] ^ 0x80000000u;  // z + 2147483648
    const unsigned char g = (unsigned char)(255u - (biased >> 24));
    const unsigned char px[4] = {g, g, g, 0};
    std::memcpy(dst + 4 * x, px, 4);
  }
}

// Fills e[0..cols-1] (the entries after the fixed margin e[-P..-1]) from the
// depths of one row. An entry the step would read that is not yet computed
// for this row (a separation below two pixels, P of 1 to 3) reads as the
// last computed one, the pixel to the left: such a pixel repeats its left
// neighbour one period on.
void coordinates(const int *z, double *e, int cols, const Settings &s) {
  const int p = s.pattern_width;
  const double d = (double)(s.high - s.low);  // single, then widened
  for (long x = 0; x < cols; ++x) {
    const double f = ((double)z[x] + 2147483648.0) / 4294967295.0;
    const double sep = (double)p * ((double)s.high - d * f);
    const double kf = std::floor(sep);
    const double t = sep - kf;
    long k = (long)kf;
    if (k > p) k = p;  // at most P: reads stay inside the margin
    const long last = x - 1, j = x - k;
    const double a = e[j < last ? j : last];
    if (s.fast) {
      e[x] = a + p;
    } else {
      const double b = e[j + 1 < last ? j + 1 : last];
      e[x] = a + (b - a) * t + p;
    }
  }
}

// Colours one row from its coordinates and its dot row.
void colour_row(const double *e, const DotRow &dots, unsigned char *dst, int cols,
                const Settings &s) {
  const long p = s.pattern_width;
  for (int x = 0; x < cols; ++x) {
    const double c = e[x];
    const double whole = std::floor(c);
    long i = (long)whole % p;  // the same as adding or subtracting P until 0..P-1
    if (i < 0) i += p;
    unsigned char px[4];
    if (!s.interpolate) {
      std::memcpy(px, dots.dot(i), 4);
    } else {
      const unsigned char *a = dots.dot(i), *b = dots.dot(i + 1 == p ? 0 : i + 1);
      const double frac = c - whole;
      for (int ch = 0; ch < 3; ++ch) px[ch] = (unsigned char)(int)(a[ch] + (b[ch] - a[ch]) * frac);
      px[3] = 0;
    }
    std::memcpy(dst + 4 * x, px, 4);
  }
}

}  // namespace

void skip_rows(int p, int rows) {
  for (long n = 3L * p * (rows > 0 ? rows : 0); n > 0; --n) rand15();
}

bool DoStereogram(const int *z, unsigned char *out, int width, int height, long limit,
                  const Settings &s) {
  const int p = s.pattern_width;
  std::unique_ptr<double[]> entries(new (std::nothrow) double[(size_t)p + width]);
  std::unique_ptr<unsigned char[]> dot_store(new (std::nothrow) unsigned char[4 * (size_t)p + 4]);
  if (!entries || !dot_store) {
    skip_rows(p, height);
    return false;
  }
  for (int i = 0; i < p; ++i) entries[i] = -p + i;
  double *e = entries.get() + p;
  DotRow dots(dot_store.get(), p);

  for (int y = 0; y < height; ++y) {
    dots.next();
    const long start = (long)y * width;
    const long avail = limit - start;
    const int cols = avail <= 0 ? 0 : avail < width ? (int)avail : width;
    if (cols == 0) continue;
    unsigned char *dst = out + 4 * start;
    if (s.show_zbuf) {
      grey_row(z + start, dst, cols);
    } else if (p == 0) {
      // No dots to repeat: the row stays transparent black.
      std::memset(dst, 0, 4 * (size_t)cols);
    } else {
      coordinates(z + start, e, cols, s);
      colour_row(e, dots, dst, cols, s);
    }
  }
  return true;
}

}  // namespace stereogram_impl
