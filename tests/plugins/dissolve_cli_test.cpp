// speckle between two real clips over a 48-frame ramp through the seqfx
// program: a module with state, loaded once for the whole run.
#include "transition_cli.h"

TEST(SpeckleCli, DissolvesBetweenTwoClips) {
  const std::string why = transition_cli::missing();
  if (!why.empty()) GTEST_SKIP() << why;
  // At factor 0 only pixels whose draw is exactly 0 switch: on 64 x 48 the
  // first frame may equal the first clip.
  const int moved = transition_cli::render_between_clips("speckle");
  EXPECT_GE(moved, transition_cli::kFrames - 1);
}
