// Drawing the values of one fuzz case: slot contents, frame sizes, image
// records. Everything comes from one generator seeded by (seed, case), so a
// case is replayed by its two numbers alone.
#pragma once

#include "seqfx/image.h"
#include "seqfx/plugin.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace seqfx_fuzz {

// splitmix64: small, fast and the same on every platform.
class Rng {
 public:
  Rng(std::uint64_t seed, std::uint64_t stream);
  std::uint64_t next();
  std::uint32_t bits() { return (std::uint32_t)(next() >> 32); }
  // 0..n-1 (n > 0).
  int below(int n) { return (int)(next() % (std::uint64_t)n); }
  // lo..hi inclusive.
  int between(int lo, int hi) { return lo + below(hi - lo + 1); }
  double unit() { return (double)(next() >> 11) * (1.0 / 9007199254740992.0); }
  bool chance(int percent) { return below(100) < percent; }

 private:
  std::uint64_t state_;
};

// Writes a value into every slot of the module's table: in range, at and
// just beyond the bounds, NaN, infinities, huge and negative integers or raw
// bits. `wild` is the percentage of rows that get a value outside the row's
// range; the rest get in-range values. Calls the change entry for a row
// when the host would (most of the time).
void draw_slots(Rng &rng, seqfx::Plugin &plugin, int wild);

// A frame size from 1x1 to about 100x100, with 1xN and Nx1 shapes.
void draw_frame_size(Rng &rng, int &w, int &h);

// An image record for a w x h frame: usually of the frame's size, sometimes
// smaller (down to 0x0) or larger; each plane present or absent, filled with
// drawn contents. Float planes always hold finite values.
std::unique_ptr<seqfx::Image> draw_image(Rng &rng, int w, int h, bool uses_float, bool needs_depth);

// A frame number as a host writes it: whole, negative, zero or large.
float draw_frame_number(Rng &rng);
// An effect factor: 0..1 with the ends drawn often.
float draw_factor(Rng &rng);

}  // namespace seqfx_fuzz
