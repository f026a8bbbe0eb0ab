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

class PolarCache {
 public:
  // Frames of more pixels than this compute every angle where it is
  // needed: the cache never holds more than 32 MiB (a 2560x1600 frame).
  static constexpr std::size_t kMaxPixels = std::size_t(1) << 22;

  // Makes the cache serve frames of this size and centre. Entries of any
  // other size or centre are forgotten. Returns the frame's row-major
  // angles, each not a number until it is first computed, or null when the
  // frame is too large or the memory is not to be had.
  double *prepare(int width, int height, double cx, double cy) {
    const std::size_t n = (std::size_t)width * (std::size_t)height;
    if (width <= 0 || height <= 0 || n > kMaxPixels) return nullptr;
    if (angles_ && width == width_ && height == height_ && cx == cx_ && cy == cy_)
      return angles_.get();
    if (n > capacity_) {
      angles_.reset();
      capacity_ = 0;
      angles_.reset(new (std::nothrow) double[n]);
      if (!angles_) return nullptr;
      capacity_ = n;
    }
    width_ = width;
    height_ = height;
    cx_ = cx;
    cy_ = cy;
    const double unknown = std::numeric_limits<double>::quiet_NaN();
    double *a = angles_.get();
    for (std::size_t i = 0; i < n; ++i) a[i] = unknown;
    return a;
  }

 private:
  std::unique_ptr<double[]> angles_;
  std::size_t capacity_ = 0;
  int width_ = 0, height_ = 0;
  double cx_ = 0, cy_ = 0;
};

// The angle of the offset (dx, dy), from the slot when it was computed
// before. Offsets are finite and atan2 of finite values is never NaN, so a
// NaN slot is one still to fill. Without a slot the angle is computed.
inline double angle(double *slot, double dy, double dx) {
  if (!slot) return std::atan2(dy, dx);
  double a = *slot;
  if (a != a) *slot = a = std::atan2(dy, dx);
  return a;
}

}  // namespace spin
