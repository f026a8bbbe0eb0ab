// The ways tonecut's per-pixel passes can run: one pixel at a time, four
// in lanes of the base instruction set, or eight with AVX2 or AVX-512.
// Each lane path gives the one-pixel path's bytes exactly.
#pragma once

namespace tonecut {

enum class LanePath { plain, lanes, avx2, avx512 };

bool lane_path_available(LanePath path);
// The widest path this processor offers, chosen once.
LanePath best_lane_path();

}  // namespace tonecut
