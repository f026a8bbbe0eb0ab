// dualpane between two real clips through the seqfx program.
#include "transition_cli.h"

TEST(DualpaneCli, CrossfadeBandBetweenTwoClips) {
  const std::string why = transition_cli::missing();
  if (!why.empty()) GTEST_SKIP() << why;
  EXPECT_EQ(transition_cli::render_between_clips("dualpane", {"Offset:=0.6"}), transition_cli::kFrames);
}
