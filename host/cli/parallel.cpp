#include "parallel.h"

#include <malloc.h>
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

void keep_frame_memory(std::size_t frame_bytes) {
  // Planes below the mapping threshold come from the heap and are reused
  // there; the allocator takes at most 32 MiB here (a 1080p float plane,
  // a 4K byte plane). Freed memory is given back only above the trim
  // threshold, which holds the frames a run keeps in flight.
  const std::size_t most = std::size_t(32) << 20;
  if (frame_bytes == 0 || frame_bytes >= most) return;
  mallopt(M_MMAP_THRESHOLD, (int)most);
  mallopt(M_TRIM_THRESHOLD, (int)(std::size_t(512) << 20));
}

}  // namespace seqfx_cli
