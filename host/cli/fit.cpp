#include "fit.h"

namespace seqfx_cli {

namespace {

std::string strips_word(int n) { return std::to_string(n) + (n == 1 ? " strip" : " strips"); }
std::string inputs_word(int n) { return std::to_string(n) + (n == 1 ? " input" : " inputs"); }

}  // namespace

FitReport check_fit(const std::string &name, const seqfx::ModuleFacts &facts, const Offer &offer) {
  FitReport r;
  const std::string given = " (" + std::to_string(offer.strips) + " given)";
  if (offer.strips < facts.strips_needed) {
    r.faults.push_back(name + " needs " + strips_word(facts.strips_needed) + ": give " +
                       inputs_word(facts.strips_needed) + " with -i" + given);
  } else if (offer.strips > facts.strips_accepted) {
    const std::string most = facts.strips_accepted == facts.strips_needed ? "" : "at most ";
    r.faults.push_back(name + " reads " + most + strips_word(facts.strips_accepted) + ": give " + most +
                       inputs_word(facts.strips_accepted) + " with -i" + given);
  }
  if (facts.needs_depth && !offer.depth)
    r.faults.push_back(name + " needs a depth plane: give an EXR with a Z channel or --depth FILE");
  // Guessed facts cannot tell whether a module reads floats.
  if (offer.float_pixels && facts.declared && !facts.uses_float)
    r.notes.push_back(name + " reads only 8-bit pixels: --float gives it nothing more, its result is 8-bit");
  return r;
}

}  // namespace seqfx_cli
