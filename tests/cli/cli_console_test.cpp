// What modules print while render runs: each distinct line once with its
// frames, live with --verbose, nothing with --quiet, never a spinner.

#include "cli_support.h"

#include <algorithm>

using namespace cli_test;

namespace {

std::size_t count(const std::string &text, const std::string &what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Pictures with a depth channel, frames 1..n.
void make_depth_frames(const TempDir &dir, int n) {
  for (int f = 1; f <= n; ++f)
    write_float(dir / ("d_" + std::to_string(f) + ".exr"), 24, 16, {"R", "G", "B", "A", "Z"},
                [](int x, int y, int c) { return c == 4 ? 1.0f + (float)(x + y) : c == 3 ? 1.0f : 0.1f * (float)c; });
}

TEST(Console, EachDistinctLineOnceWithItsFrames) {
  TempDir dir;
  make_test_frames(dir / "in_%d.png", 4, 24, 16);
  Result r = seqfx({"render", "afterglow", "-i", dir / "in_%d.png", "-o", dir / "out_%d.png", "--factor", "0.5"});
  ASSERT_EQ(r.code, 0) << r.err;
  // The module's own name in its line is not repeated.
  EXPECT_EQ(count(r.err, "afterglow: Das war's (frames 1-4)\n"), 1u) << r.err;
  EXPECT_EQ(count(r.err, "Das war's"), 1u) << r.err;
  EXPECT_EQ(r.out, "");

  r = seqfx({"--verbose", "render", "afterglow", "-i", dir / "in_%d.png", "-o", dir / "v_%d.png", "--factor", "0.5"});
  ASSERT_EQ(r.code, 0) << r.err;
  for (int f = 1; f <= 4; ++f)
    EXPECT_EQ(count(r.err, "afterglow: Das war's (frame " + std::to_string(f) + ")\n"), 1u) << r.err;

  r = seqfx({"--quiet", "render", "afterglow", "-i", dir / "in_%d.png", "-o", dir / "q_%d.png", "--factor", "0.5"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(contains(r.err, "afterglow: ")) << r.err;
  EXPECT_EQ(r.out, "");
}

TEST(Console, SpinnersNeverReachALogAndWorkersShareTheSummary) {
  TempDir dir;
  make_depth_frames(dir, 4);
  // A still: a few lines, no carriage returns.
  Result r = seqfx({"render", "defocus", "-i", dir / "d_1.exr", "-o", dir / "still.png"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos);
  EXPECT_LT(r.err.size(), 1000u) << r.err;
  EXPECT_TRUE(contains(r.err, "defocus: done (frame 1)\n")) << r.err;

  // Two workers: the frames of every copy's lines are gathered.
  r = seqfx({"render", "defocus", "-i", dir / "d_%d.exr", "-o", dir / "out_%d.png", "-j", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos);
  EXPECT_EQ(count(r.err, "defocus: done (frames 1-4)\n"), 1u) << r.err;
  EXPECT_EQ(count(r.err, "blurring background\n"), 0u) << r.err;
  EXPECT_EQ(count(r.err, "defocus: blurring background (frames 1-4)\n"), 1u) << r.err;
}

TEST(Console, LinesNameTheirFramesAndAnErrorStaysLast) {
  TempDir dir;
  make_test_frames(dir / "in_%d.png", 5, 24, 16);
  // The probe prints its frame number: a line per frame, five lines.
  Result r = seqfx({"--plugins", fixture_dir(), "render", "cli_probe", "-i", dir / "in_%d.png", "-i",
                    dir / "in_%d.png", "-o", dir / "out_%d.png", "--frames", "2-4"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.err, "cli_probe: frame 3 mode 0 (frame 3)\n")) << r.err;
  EXPECT_TRUE(contains(r.err, "cli_probe: to stderr (frames 2-4)\n")) << r.err;

  // A frame missing at 6: the lines of the frames before come, then the
  // error, last.
  r = seqfx({"--plugins", fixture_dir(), "render", "cli_probe", "-i", dir / "in_%d.png", "-i", dir / "in_%d.png",
             "-o", dir / "c_%d.png", "--frames", "4-6", "-j", "1"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "cli_probe: to stderr (frames 4-5)\n")) << r.err;
  EXPECT_TRUE(contains(r.err, "is missing")) << r.err;
  const std::size_t last = r.err.rfind("seqfx: ");
  ASSERT_NE(last, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\n', last), r.err.size() - 1) << r.err;
}

}  // namespace
