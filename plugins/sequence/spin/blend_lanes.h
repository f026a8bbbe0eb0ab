// spin: interpolated sampling of many source points at once.
#pragma once

namespace spin {

// What becomes of a point outside 0 .. width - 1, 0 .. height - 1 (or not
// a number): it stops the run (to be sampled on its own), it is clamped
// onto the border, or it takes the outside colour.
enum class Outside { kStop, kClamp, kColour };

// Interpolates n source points (sx[i], sy[i]) from the width x height
// picture src into out[4 * i .. 4 * i + 3], starting with the first and,
// with Outside::kStop, stopping before the first block of four points
// that has one outside. Every pixel gets the bytes of the one-point
// sampling: the same double operations in the same order per point.
// Returns how many points were done.
int blend_points(const unsigned char *src, int width, int height, const double *sx,
                 const double *sy, int n, Outside outside, const unsigned char *colour,
                 unsigned char *out);

}  // namespace spin
