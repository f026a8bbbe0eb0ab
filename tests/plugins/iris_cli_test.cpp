// iris between two real clips over a 48-frame ramp through the seqfx program.
#include "transition_cli.h"

TEST(IrisCli, ClosesOnTheFirstClip) {
  const std::string why = transition_cli::missing();
  if (!why.empty()) GTEST_SKIP() << why;
  // Closing: the first frame is the first clip but for one rim pixel.
  EXPECT_EQ(transition_cli::render_between_clips("iris"), transition_cli::kFrames);
}
