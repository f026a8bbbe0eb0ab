#include "effect.h"

#include "quiet.h"

namespace seqfx_cli {

void Effect::run(Frame &f) {
  for (FrameHook &hook : before) hook(f);
  std::vector<seqfx::Image> &s = *f.strips;
  Silence silence(quiet);
  plugin->render((float)f.number, f.factor0, f.factor1, s[0], s.size() > 1 ? &s[1] : nullptr, *f.out,
                 s.size() > 2 ? &s[2] : nullptr);
}

}  // namespace seqfx_cli
