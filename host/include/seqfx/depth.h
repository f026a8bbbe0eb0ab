// Mapping camera distances onto the signed 32-bit depth values of an image
// record, and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace seqfx {

// Distances near..far map linearly onto -2147483648..2147483647: near is
// the smallest value, far the largest, nearer stays smaller. Distances
// outside the range (and infinity) are limited to its ends; NaN counts as
// far.
struct DepthRange {
  double nearest = 0.0;
  double farthest = 1.0;

  std::int32_t to_z(double distance) const;
  double to_distance(std::int32_t z) const;

  // The finite extent of count distances (a range of width 1 around a flat
  // plane; 0..1 when no distance is finite).
  static DepthRange of(const float *distances, std::size_t count);
  // "NEAR:FAR" with NEAR < FAR. Throws HostError.
  static DepthRange parse(const std::string &text);
};

}  // namespace seqfx
