#include "frame_clock.h"

#include <cmath>

namespace seqfx::frei0r {

float FrameClock::next(double time, double fps, bool in_ms) {
  ++count_;
  const double seconds = in_ms ? time / 1000.0 : time;
  if (!std::isfinite(seconds) || seconds < 0 || !(fps > 0) || !std::isfinite(fps))
    return (float)count_;
  const double frame = std::floor(seconds * fps + 0.5) + 1;
  // Modules turn the frame number into an int: stay well inside its range.
  if (!(frame <= 1e9)) return (float)count_;
  return (float)frame;
}

}  // namespace seqfx::frei0r
