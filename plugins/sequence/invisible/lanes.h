// The vector width of invisible's passes, chosen at run time.
#pragma once

namespace invisible {

// 16, 8 or 4 32-bit lanes: the widest the processor offers (AVX-512, AVX2,
// the base SSE2), or less after cap_lanes.
int lanes();

// Holds the passes to at most `most` lanes (0 lifts the cap), so that the
// narrower forms can be run and compared on a processor with wider ones.
void cap_lanes(int most);

}  // namespace invisible
