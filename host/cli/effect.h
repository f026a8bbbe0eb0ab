// One frame through a module: the step both `render` and `demo` share.
#pragma once

#include "seqfx/plugin.h"

#include <functional>
#include <vector>

namespace seqfx_cli {

// A frame as the effect call will see it. Hooks may change anything here
// (attach planes to the strips, replace values) before the call.
struct Frame {
  int number = 1;  // stored in the module's cfra
  float factor0 = 0.0f, factor1 = 0.0f;
  std::vector<seqfx::Image> *strips = nullptr;  // ibuf1, ibuf2, ibuf3 (1 to 3)
  seqfx::Image *out = nullptr;
};

// Work to do on every frame right before the effect call.
using FrameHook = std::function<void(Frame &)>;

struct Effect {
  seqfx::Plugin *plugin = nullptr;
  bool quiet = false;              // silence the module's console lines
  std::vector<FrameHook> before;   // run in order before each call

  // Runs the hooks and the module on one frame; afterwards a depth plane
  // the module attached to out belongs to out.
  void run(Frame &frame);
};

}  // namespace seqfx_cli
