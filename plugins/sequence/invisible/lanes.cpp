#include "lanes.h"

#include <atomic>

namespace invisible {

namespace {

int widest() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw")) return 16;
  if (__builtin_cpu_supports("avx2")) return 8;
#endif
  return 4;
}

std::atomic<int> cap{0};

}  // namespace

int lanes() {
  static const int most = widest();
  const int c = cap.load(std::memory_order_relaxed);
  return c > 0 && c < most ? c : most;
}

void cap_lanes(int most) { cap.store(most, std::memory_order_relaxed); }

}  // namespace invisible
