// spin: the angles of the output pixels about the centre, kept between
// calls. An output pixel's angle depends only on its offset from the
// centre, so a video of frames alike in size and centre pays each atan2
// once, on the first frame that needs it, and after that only the turn's
// sine and cosine.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>

namespace spin {

// Where the angle of one output pixel is kept: below tells that the pixel
// lies below the centre's row (dy < 0) and the slot holds the angle of the
// mirrored offset (dx, -dy), whose negation it is. Without a slot the angle
// is computed.
struct AngleSlot {
  double *slot;
  bool below;
};

class PolarCache {
 public:
  // The angles kept never take more than 32 MiB: a 3840x2160 frame about
  // its middle, a 2560x1600 one about any centre in its own rows.
  static constexpr std::size_t kMaxEntries = std::size_t(1) << 22;
  // Offsets up to this far from the centre, either way, are kept.
  // atan2(-dy, dx) is exactly -atan2(dy, dx) over all of them, which lets
  // the rows on either side of the centre share their angles.
  static constexpr double kReach = 8192.0;

  // Makes the cache serve frames of this size and centre; entries of any
  // other size or centre are forgotten. Returns false when the frame is
  // too large, lies too far from its centre, or the memory is not to be
  // had: its angles are then computed where they are needed.
  bool prepare(int width, int height, double cx, double cy) {
    if (width == width_ && height == height_ && cx == cx_ && cy == cy_) return live_;
    width_ = width;
    height_ = height;
    cx_ = cx;
    cy_ = cy;
    live_ = false;
    if (width <= 0 || height <= 0) return false;
    // The offsets run from -cx to width - 1 - cx and from -cy to
    // height - 1 - cy (exact integers).
    const double dx0 = -cx, dx1 = width - 1 - cx, dy0 = -cy, dy1 = height - 1 - cy;
    if (!(std::fabs(dx0) <= kReach && std::fabs(dx1) <= kReach && std::fabs(dy0) <= kReach &&
          std::fabs(dy1) <= kReach))
      return false;
    // Rows are kept by distance from the centre's row, from lo to hi.
    const double a0 = std::fabs(dy0), a1 = std::fabs(dy1);
    const double lo = dy0 <= 0 && dy1 >= 0 ? 0 : std::fmin(a0, a1), hi = std::fmax(a0, a1);
    rows_lo_ = (int)lo;
    const std::size_t n = (std::size_t)(hi - lo + 1) * (std::size_t)width;
    if (n > kMaxEntries) return false;
    if (n > capacity_) {
      angles_.reset();
      capacity_ = 0;
      angles_.reset(new (std::nothrow) double[n]);
      if (!angles_) return false;
      capacity_ = n;
    }
    const double unknown = std::numeric_limits<double>::quiet_NaN();
    double *a = angles_.get();
    for (std::size_t i = 0; i < n; ++i) a[i] = unknown;
    live_ = true;
    return true;
  }

  // The slot of output pixel (x, y) of the frame last prepared; only
  // valid after prepare returned true.
  AngleSlot at(int x, int y) const {
    const double dy = y - cy_;
    const int row = (int)std::fabs(dy) - rows_lo_;
    return {angles_.get() + (std::size_t)row * width_ + x, dy < 0};
  }

 private:
  std::unique_ptr<double[]> angles_;
  std::size_t capacity_ = 0;
  int width_ = 0, height_ = 0, rows_lo_ = 0;
  double cx_ = 0, cy_ = 0;
  bool live_ = false;
};

// The angle of the offset (dx, dy), from its slot when it was computed
// before. Offsets are finite and atan2 of finite values is never NaN, so a
// NaN slot is one still to fill. dy of the centre's row is +0, never -0.
inline double angle(AngleSlot s, double dy, double dx) {
  if (!s.slot) return std::atan2(dy, dx);
  double a = *s.slot;
  if (a != a) *s.slot = a = std::atan2(std::fabs(dy), dx);
  return s.below ? -a : a;
}

}  // namespace spin
