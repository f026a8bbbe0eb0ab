// The cost check: a full-HD frame of a module with any slot values must
// finish within a multiple of the time its defaults take. Meant for an
// optimised, unsanitized build; not part of the test suite (it takes
// minutes).
#pragma once

#include <string>

namespace seqfx_fuzz {

struct TimingLimits {
  int width = 1920, height = 1080;
  double factor = 10;      // allowed multiple of the default time
  double floor_ms = 50;    // below this nothing counts as slow (timer noise)
};

// Times the module at path with its defaults, then with each row in turn at
// its bounds and beyond, and with a few rows drawn wild together. Prints a
// line per value past the limit; returns how many there were. A call that
// runs past the limit by far is stopped by the watchdog.
int check_timing(const std::string &path, const TimingLimits &limits);

}  // namespace seqfx_fuzz
