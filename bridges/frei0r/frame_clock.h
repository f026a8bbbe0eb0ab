// The frame number a module sees, derived from the time a frei0r host gives.
#pragma once

namespace seqfx::frei0r {

// Frames count from 1: time 0 is frame 1, each 1/fps later the next. A time
// that is not a finite number of seconds from 0 (hosts do pass garbage),
// or one too large for a frame number, gives the instance's own count of
// frames instead.
class FrameClock {
 public:
  // Called once per frame; `time` is in milliseconds when `in_ms`.
  float next(double time, double fps, bool in_ms);
  long frames_seen() const { return count_; }

 private:
  long count_ = 0;
};

}  // namespace seqfx::frei0r
