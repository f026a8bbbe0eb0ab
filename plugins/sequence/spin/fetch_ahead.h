// spin: asks for the source rows the next tile will read while the current
// one is computed. A tile's source points lie along a turned and zoomed
// square, scattered over dozens of source rows, each in a page of its own;
// the processor's own fetching does not foresee them, and without this the
// sampling spends most of its time waiting on memory. Fetching ahead
// changes no byte: a box that misses the points only costs time.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace spin {

class FetchAhead {
 public:
  // Plans the box of source pixels around the points (sx[k], sy[k]) of the
  // next tile (its corners and middle), in a width x height source, to be
  // asked for over `steps` calls of step(). Boxes that are far larger than
  // a tile's share of the source (strong zoom out) are not fetched.
  void plan(const unsigned char *src, int width, int height, const double *sx, const double *sy,
            int n, int steps) {
    clear();
    double lx = sx[0], hx = sx[0], ly = sy[0], hy = sy[0];
    for (int k = 1; k < n; ++k) {
      lx = std::fmin(lx, sx[k]);
      hx = std::fmax(hx, sx[k]);
      ly = std::fmin(ly, sy[k]);
      hy = std::fmax(hy, sy[k]);
    }
    // Not numbers, or a box beside the source: nothing to fetch.
    if (!(lx <= width - 1 && hx >= 0 && ly <= height - 1 && hy >= 0)) return;
    x0_ = lx < 0 ? 0 : (int)lx;
    x1_ = hx + 1 > width - 1 ? width - 1 : (int)hx + 1;  // the right neighbours too
    const int y0 = ly < 0 ? 0 : (int)ly;
    const int y1 = hy + 1 > height - 1 ? height - 1 : (int)hy + 1;
    if ((double)(x1_ - x0_ + 1) * (y1 - y0 + 1) > kMaxPixels) return;
    src_ = src;
    stride_ = 4 * (std::size_t)width;
    row_ = y0;
    end_ = y1 + 1;
    per_step_ = (end_ - row_ + steps - 1) / steps;
  }

  // Plans nothing: there is no next tile.
  void clear() { row_ = end_ = 0; }

  // Asks for the next share of the box's rows.
  void step() {
    const int stop = row_ + per_step_ < end_ ? row_ + per_step_ : end_;
    for (; row_ < stop; ++row_) {
      const std::uintptr_t first = (std::uintptr_t)(src_ + row_ * stride_ + 4 * (std::size_t)x0_);
      const std::uintptr_t last = (std::uintptr_t)(src_ + row_ * stride_ + 4 * (std::size_t)x1_) + 3;
      for (std::uintptr_t a = first & ~(std::uintptr_t)63; a <= last; a += 64)
        __builtin_prefetch(reinterpret_cast<const void *>(a));
    }
  }

 private:
  static constexpr double kMaxPixels = 16384;
  const unsigned char *src_ = nullptr;
  std::size_t stride_ = 0;
  int x0_ = 0, x1_ = 0, row_ = 0, end_ = 0, per_step_ = 0;
};

}  // namespace spin
