// Whether a render's inputs give a module what it declares it needs:
// strips, a depth plane, float pixels. Checked before the first frame, so
// that a mismatch is refused instead of rendering a wrong picture.
#pragma once

#include "seqfx/facts.h"

#include <string>
#include <vector>

namespace seqfx_cli {

// What the render offers the module.
struct Offer {
  int strips = 1;           // inputs given with -i
  bool depth = false;       // the first strip carries a depth plane (its own or --depth)
  bool float_pixels = false; // --float
};

struct FitReport {
  std::vector<std::string> faults;  // each a one-line reason to refuse
  std::vector<std::string> notes;   // worth saying, but the render goes on
};

// Compares the offer with the facts of module `name`.
FitReport check_fit(const std::string &name, const seqfx::ModuleFacts &facts, const Offer &offer);

}  // namespace seqfx_cli
