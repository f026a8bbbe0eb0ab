// split between two real clips through the seqfx program.
#include "transition_cli.h"

TEST(SplitCli, QuadrantsBetweenTwoClips) {
  const std::string why = transition_cli::missing();
  if (!why.empty()) GTEST_SKIP() << why;
  // A static split: every frame differs from the first clip.
  EXPECT_EQ(transition_cli::render_between_clips("split", {"2*2=on"}), transition_cli::kFrames);
}
