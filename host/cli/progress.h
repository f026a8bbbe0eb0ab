// A one-line progress bar on standard error: frame, total, frames per
// second and the time left.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace seqfx_cli {

class Progress {
 public:
  // total < 0: not known in advance (only frames and speed are shown).
  // Shown only when enabled (more than one frame).
  // Shown on `to` (standard error unless given).
  Progress(long total, bool enabled, std::FILE *to = stderr);
  ~Progress();
  // One more frame done.
  void step();
  // Ends the line.
  void finish();

  // The text of the bar after done of total frames in seconds.
  static std::string line(long done, long total, double seconds);

 private:
  long total_, done_ = 0;
  bool enabled_, open_ = false;
  std::FILE *to_;
  double last_shown_ = -1.0;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace seqfx_cli
