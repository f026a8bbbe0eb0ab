// dialreveal between two real clips over a 48-frame ramp through the seqfx
// program.
#include "transition_cli.h"

TEST(DialrevealCli, SweepsBetweenTwoClips) {
  const std::string why = transition_cli::missing();
  if (!why.empty()) GTEST_SKIP() << why;
  // Frames show the second clip with a growing sector of the first; the
  // last, one whole round clockwise with the circle over the frame, shows
  // the first clip alone.
  EXPECT_EQ(transition_cli::render_between_clips("dialreveal", {"Clockwise=on", "Start=90"}),
            transition_cli::kFrames - 1);
}
