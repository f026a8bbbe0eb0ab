#include "colour_notes.h"

namespace seqfx_cli {

ColourNotes::ColourNotes(std::string module, std::vector<std::string> inputs, bool bytes_only, std::FILE *to)
    : module_(std::move(module)), inputs_(std::move(inputs)), bytes_only_(bytes_only), to_(to),
      deep_said_(inputs_.size(), 0), clip_said_(inputs_.size(), 0) {}

void ColourNotes::saw(std::size_t s, bool deep, bool clipped) {
  if (!bytes_only_ || s >= inputs_.size() || (!deep && !clipped)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const bool d = deep && !deep_said_[s], c = clipped && !clip_said_[s];
  if (!d && !c) return;
  deep_said_[s] |= d;
  clip_said_[s] |= c;
  const char *name = inputs_[s].c_str(), *module = module_.c_str();
  if (d && c)
    std::fprintf(to_,
                 "seqfx: note: %s holds more than 8 bits per channel and values above 1.0 (HDR); %s reads 8 bits, "
                 "so they are reduced to 8 bits and clipped\n",
                 name, module);
  else if (d)
    std::fprintf(to_, "seqfx: note: %s holds more than 8 bits per channel; %s reads 8 bits, so it is reduced to 8 bits\n",
                 name, module);
  else
    std::fprintf(to_, "seqfx: note: %s holds values above 1.0 (HDR); %s reads 8 bits, so they are clipped\n", name,
                 module);
  std::fflush(to_);
}

}  // namespace seqfx_cli
