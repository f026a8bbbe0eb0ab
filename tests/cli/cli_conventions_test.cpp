// The conventions people bring from ffmpeg: -y, rational frame rates,
// #### frame patterns, --version; and a plain `seqfx` that writes nothing.

#include "cli_support.h"

using namespace cli_test;

namespace {

std::string probe_rate(const std::string &video) {
  std::string out;
  run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=r_frame_rate", "-of",
       "default=nw=1:nk=1", video},
      &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

TEST(Conventions, OutputsThatExistAreReplacedOnlyWithY) {
  TempDir dir;
  make_test_frames(dir / "in_%04d.png", 2, 16, 12);
  write_png(dir / "out.png", 3, 3, [](int, int) { return Pixel{1, 2, 3, 255}; });
  Result r = seqfx({"render", "invert", "-i", dir / "in_0001.png", "-o", dir / "out.png"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "seqfx: " + dir / "out.png" + " exists: give -y to overwrite it\n");
  EXPECT_EQ(read_file(dir / "out.png").width, 3);
  r = seqfx({"render", "invert", "-i", dir / "in_0001.png", "-o", dir / "out.png", "-y"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "out.png").width, 16);

  // One frame of a numbered output that exists refuses the whole run.
  write_png(dir / "o_0002.png", 3, 3, [](int, int) { return Pixel{1, 2, 3, 255}; });
  const auto before = dir.files();
  r = seqfx({"render", "invert", "-i", dir / "in_%04d.png", "-o", dir / "o_%04d.png"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, dir / "o_0002.png exists: give -y to overwrite it")) << r.err;
  EXPECT_EQ(dir.files(), before);

  // A video likewise.
  ASSERT_EQ(seqfx({"render", "invert", "-i", dir / "in_%04d.png", "-o", dir / "v.mkv"}).code, 0);
  r = seqfx({"render", "invert", "-i", dir / "in_%04d.png", "-o", dir / "v.mkv"});
  EXPECT_TRUE(contains(r.err, "v.mkv exists: give -y to overwrite it")) << r.err;
  EXPECT_EQ(seqfx({"render", "invert", "-i", dir / "in_%04d.png", "-o", dir / "v.mkv", "-y"}).code, 0);
}

TEST(Conventions, FrameRatesAsRatiosAndDecimals) {
  TempDir dir;
  make_test_frames(dir / "in_%04d.png", 3, 16, 12);
  const std::vector<std::pair<std::string, std::string>> rates = {
      {"30000/1001", "30000/1001"}, {"12.5", "25/2"}};
  for (const auto &[given, probed] : rates) {
    const std::string out = dir / "v.mkv";
    Result r = seqfx({"render", "invert", "-i", dir / "in_%04d.png", "-o", out, "--fps", given, "-y"});
    ASSERT_EQ(r.code, 0) << given << ": " << r.err;
    EXPECT_EQ(probe_rate(out), probed) << given;
  }
  for (const std::string bad : {"24000/0", "0/1001", "30000/1001x", "-25"}) {
    const Result r = seqfx({"render", "invert", "-i", dir / "in_%04d.png", "-o", dir / "w.mkv", "--fps", bad});
    EXPECT_EQ(r.code, 1) << bad;
    EXPECT_TRUE(contains(r.err, "--fps wants frames per second above 0 as a number (25, 29.97) or a ratio "
                                "(30000/1001), not \"" + bad + "\""))
        << r.err;
  }
}

TEST(Conventions, HashPatternsNumberFramesLikeZeroPaddedFields) {
  TempDir dir;
  make_test_frames(dir / "in_%04d.png", 3, 16, 12);
  write_png(dir / "in_12.png", 16, 12, [](int, int) { return Pixel{0, 0, 0, 255}; });  // not 4 digits: not a frame
  Result r = seqfx({"render", "invert", "-i", dir / "in_####.png", "-o", dir / "out_###.png"});
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char *f : {"out_001.png", "out_002.png", "out_003.png"})
    EXPECT_EQ(read_file(dir / f).width, 16) << f;
  EXPECT_EQ(dir.files().size(), 7u);

  r = seqfx({"render", "invert", "-i", dir / "in_####_%d.png", "-o", dir / "x_####.png"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "holds more than one frame number field")) << r.err;
}

TEST(Conventions, VersionAndNoCommand) {
  Result r = seqfx({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.compare(0, 6, "seqfx "), 0) << r.out;
  EXPECT_TRUE(r.out.size() > 7 && std::isdigit((unsigned char)r.out[6])) << r.out;

  // Without a command: the usage, and nothing written where it runs.
  TempDir dir;
  std::string out;
  const int code = run({"sh", "-c", "cd \"$0\" && exec \"$1\" 2>&1", dir.path(), SEQFX_CLI}, &out);
  EXPECT_EQ(code, 2);
  EXPECT_TRUE(contains(out, "usage: seqfx")) << out;
  EXPECT_TRUE(contains(out, "seqfx demo [DIR]")) << out;
  EXPECT_TRUE(dir.files().empty());
}

TEST(Conventions, ParameterNamesWithoutPunctuationAndNearMisses) {
  TempDir dir;
  make_test_frames(dir / "a_%04d.png", 1, 16, 12);
  const std::string in = dir / "a_0001.png";
  // "Txt:" by txt, "Gain " by gain, "Mode" by mode: mode 5 puts the text's
  // first byte in the red of the bottom left pixel.
  Result r = seqfx({"--plugins", fixture_dir(), "render", "cli_probe", "-i", in, "-i", in, "-o", dir / "p.png",
                    "--set", "txt=Z", "--set", "gain=2", "--set", "mode=5"});
  ASSERT_EQ(r.code, 0) << r.err;
  const FilePicture p = read_file(dir / "p.png");
  EXPECT_EQ(p.byte_pixel(0, p.height - 1)[0], 'Z');

  const std::vector<std::pair<std::string, std::string>> misses = {
      {"Hu=0.1", "invert has no parameter \"Hu\"; did you mean \"Hue\"?"},
      {"Gren=on", "invert has no parameter \"Gren\"; did you mean \"Green\"?"},
      {"Purple=1", "invert has no parameter \"Purple\"; its parameters: \"Red\", \"Green\", \"Blue\", \"Alpha\", \"redSat\""},
  };
  for (const auto &[set, message] : misses) {
    r = seqfx({"render", "invert", "-i", in, "-o", dir / "i.png", "--set", set});
    EXPECT_EQ(r.code, 1) << set;
    EXPECT_TRUE(contains(r.err, message)) << r.err;
  }
  r = seqfx({"render", "invert", "-i", in, "-o", dir / "i.png", "--set", "hue:=0.5", "--set", "RED=off"});
  EXPECT_EQ(r.code, 0) << r.err;
}

}  // namespace
