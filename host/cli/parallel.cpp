#include "parallel.h"

#include <sched.h>

namespace seqfx_cli {

int usable_cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? (int)n : 1;
}

}  // namespace seqfx_cli
