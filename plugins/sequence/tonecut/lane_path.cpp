#include "lane_path.h"

namespace tonecut {

bool lane_path_available(LanePath path) {
  switch (path) {
    case LanePath::plain:
    case LanePath::lanes:
      return true;
#if defined(__x86_64__) || defined(__i386__)
    case LanePath::avx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2");
    case LanePath::avx512:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
#endif
    default:
      return false;
  }
}

LanePath best_lane_path() {
  static const LanePath best = lane_path_available(LanePath::avx512) ? LanePath::avx512
                               : lane_path_available(LanePath::avx2) ? LanePath::avx2
                                                                     : LanePath::lanes;
  return best;
}

}  // namespace tonecut
