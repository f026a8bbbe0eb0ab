// anaglyph on two real clips through the seqfx program.
#include "transition_cli.h"

TEST(AnaglyphCli, StereoFromTwoClips) {
  const std::string why = transition_cli::missing();
  if (!why.empty()) GTEST_SKIP() << why;
  EXPECT_EQ(transition_cli::render_between_clips("anaglyph", {"G Bal=0.5"}), transition_cli::kFrames);
}
