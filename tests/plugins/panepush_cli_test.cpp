// panepush between two real clips over a 48-frame ramp through the seqfx
// program.
#include "transition_cli.h"

TEST(PanepushCli, SlidesBetweenTwoClips) {
  const std::string why = transition_cli::missing();
  if (!why.empty()) GTEST_SKIP() << why;
  // Only the first frame (factor 0) shows the first clip unchanged.
  EXPECT_EQ(transition_cli::render_between_clips("panepush"), transition_cli::kFrames - 1);
}
