// One fuzz case: a freshly loaded module driven through 1 to 5 frames with
// drawn slots, sizes, frame numbers and image records, checked after every
// call.
#pragma once

#include <string>

namespace seqfx_fuzz {

struct CaseLimits {
  double call_seconds = 10;  // the watchdog's limit for one call
};

// Runs case `case_no` of `seed` on the module file at `path`. Returns the
// number of checks that failed (each reported on one line); crashes, sanitizer
// reports and runaway calls end the process after reporting.
int run_case(const std::string &path, unsigned long long seed, long case_no, const CaseLimits &limits);

}  // namespace seqfx_fuzz
