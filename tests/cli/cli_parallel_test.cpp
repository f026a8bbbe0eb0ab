// seqfx render on several workers: the same bytes as on one, for every
// module that keeps no state; in order for one that does; shots rendered
// in parts assemble into the whole.

#include "cli_support.h"

#include "seqfx/facts.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>

using namespace cli_test;

namespace {

struct BuiltModule {
  std::string name;
  seqfx::ModuleFacts facts;
};

// Every module of the build, with the facts its manifest declares.
std::vector<BuiltModule> built_modules() {
  std::vector<BuiltModule> out;
  DIR *d = opendir(module_dir().c_str());
  if (!d) return out;
  while (dirent *e = readdir(d)) {
    const std::string n = e->d_name;
    if (n.size() < 4 || n.compare(n.size() - 3, 3, ".so") != 0) continue;
    auto facts = seqfx::read_manifest(module_dir() + "/" + n);
    if (facts) out.push_back({n.substr(0, n.size() - 3), *facts});
  }
  closedir(d);
  std::sort(out.begin(), out.end(), [](const BuiltModule &a, const BuiltModule &b) { return a.name < b.name; });
  return out;
}

// Frames of changing colour, alpha and depth (a Z channel in camera
// units), so that modules reading any of them see motion. Four frames on
// two workers give each worker frames to run and frames to wait for.
constexpr int kFrames = 4;

void write_frames(const TempDir &dir, const std::string &prefix, int seed, int w, int h) {
  for (int f = 1; f <= kFrames; ++f)
    write_float(dir / numbered(prefix + "_%d.exr", f), w, h, {"R", "G", "B", "A", "Z"}, [&](int x, int y, int c) {
      const float v = (float)((x * (3 + c) + y * (5 + seed) + f * 11 + c * 7) % 64) / 63.0f;
      return c == 4 ? 1.0f + 10.0f * v : c == 3 ? 0.25f + 0.75f * v : v;
    });
}

// The first strip from the video when there is one (the others from
// sequences of its size: every strip from the video would only start more
// decoders reading the same file), else every strip from a sequence.
std::vector<std::string> inputs_for(const BuiltModule &m, const TempDir &dir, const std::string &video) {
  std::vector<std::string> args;
  const int strips = std::max(1, m.facts.strips_needed);
  for (int s = 0; s < strips; ++s) {
    const std::string seq = dir / ((video.empty() ? "s" : "v") + std::to_string(s) + "_%d.exr");
    args.insert(args.end(), {"-i", s == 0 && !video.empty() ? video : seq});
  }
  return args;
}

// Renders with one worker and with two; the outputs are named <stem>_j1 and
// <stem>_j2 followed by the suffix.
void render_on_one_and_two(const BuiltModule &m, const std::vector<std::string> &in, const TempDir &dir,
                           const std::string &stem, const std::string &suffix, const char *factor) {
  for (const char *jobs : {"1", "2"}) {
    std::vector<std::string> args{"--quiet", "render", m.name};
    args.insert(args.end(), in.begin(), in.end());
    args.insert(args.end(), {"-o", dir / (stem + "_j" + jobs + suffix), "--factor", factor, "-j", jobs});
    const Result r = cli_test::seqfx(args);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(contains(r.err, "one worker")) << r.err;
  }
}

TEST(Parallel, TwoWorkersWriteTheBytesOfOneForEveryStatelessModule) {
  TempDir dir;
  for (int s = 0; s < 3; ++s) {
    write_frames(dir, "s" + std::to_string(s), s, 37, 23);
    if (s > 0) write_frames(dir, "v" + std::to_string(s), s, 48, 32);
  }
  ASSERT_EQ(run({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=48x32:rate=10", "-frames:v",
                 std::to_string(kFrames), "-pix_fmt", "yuv420p", dir / "clip.mp4"}),
            0);
  int checked = 0;
  for (const BuiltModule &m : built_modules()) {
    if (m.facts.keeps_state || m.facts.entry == seqfx::EntryStyle::Texture) continue;
    SCOPED_TRACE(m.name);
    ++checked;
    // A sequence into pictures, with the factor ramped over the frames.
    render_on_one_and_two(m, inputs_for(m, dir, ""), dir, m.name, "_%d.png", "0:1");
    for (int f = 1; f <= kFrames; ++f) {
      const std::string one = file_bytes(dir / numbered(m.name + "_j1_%d.png", f));
      ASSERT_FALSE(one.empty());
      EXPECT_EQ(one, file_bytes(dir / numbered(m.name + "_j2_%d.png", f))) << "frame " << f;
    }
    // A video into a video (video carries no depth: a module needing it is
    // refused).
    if (m.facts.needs_depth) continue;
    render_on_one_and_two(m, inputs_for(m, dir, dir / "clip.mp4"), dir, m.name, ".mp4", "1:0");
    const std::string one = file_bytes(dir / (m.name + "_j1.mp4"));
    ASSERT_FALSE(one.empty());
    EXPECT_TRUE(one == file_bytes(dir / (m.name + "_j2.mp4"))) << "the videos differ";
  }
  EXPECT_GT(checked, 0) << "no module of the build declares that it keeps no state";
}

// The test module prints each frame it renders and declares nothing, so
// it may keep state: its frames come in order from one worker, and the
// user is told once.
TEST(Parallel, StatefulModuleRendersInOrderOnOneWorker) {
  TempDir dir;
  write_png(dir / "in.png", 3, 2, [](int, int) { return Pixel{1, 2, 3, 255}; });
  const Result r = cli_test::seqfx({"--plugins", fixture_dir(), "render", "cli_probe", "-i", dir / "in.png", "-o",
                          dir / "o_%d.png", "--frames", "1-8", "-j", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::size_t line = 0;
  for (int f = 1; f <= 8; ++f) {
    const std::string frame = std::to_string(f);
    line = r.err.find("cli_probe: frame " + frame + " mode 0 (frame " + frame + ")\n", line);
    ASSERT_NE(line, std::string::npos) << "frame " << f << " out of order: " << r.err;
  }
  const std::string note =
      "seqfx: cli_probe declares no facts, so it may keep state between frames: its frames are rendered in "
      "order on one worker\n";
  const std::size_t at = r.err.find(note);
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(note, at + 1), std::string::npos) << "said more than once";

  // Asked for one worker, nothing to say.
  const Result one = cli_test::seqfx({"--plugins", fixture_dir(), "render", "cli_probe", "-i", dir / "in.png", "-o",
                            dir / "p_%d.png", "--frames", "1-2", "-j", "1"});
  ASSERT_EQ(one.code, 0) << one.err;
  EXPECT_FALSE(contains(one.err, "one worker"));
}

// Parts of a shot rendered apart (with --shot) give the whole run's bytes:
// the factor ramp spans the shot, not the part.
TEST(Parallel, PartsOfAShotAssembleIntoTheWholeRun) {
  TempDir dir;
  for (int f = 1; f <= 7; ++f)
    write_png(dir / numbered("in_%d.png", f), 5, 4, [&](int x, int y) {
      return Pixel{(unsigned char)(x * 40), (unsigned char)(y * 50), (unsigned char)(f * 30), 255};
    });
  auto render = [&](const std::string &out, std::vector<std::string> extra) {
    std::vector<std::string> args{"--plugins", fixture_dir(), "--quiet", "render", "cli_probe", "-i",
                                  dir / "in_%d.png", "-o", dir / out, "--set", "Mode=2", "--factor", "0.2:0.9",
                                  "--factor1", "1:0"};
    args.insert(args.end(), extra.begin(), extra.end());
    const Result r = cli_test::seqfx(args);
    EXPECT_EQ(r.code, 0) << r.err;
  };
  render("whole_%d.png", {});
  render("part_%d.png", {"--shot", "1-7", "--frames", "1-3", "-j", "2"});
  render("part_%d.png", {"--shot", "1-7", "--frames", "4-6"});
  render("part_%d.png", {"--shot", "1-7", "--frames", "7"});
  render("alone_%d.png", {"--frames", "4-6"});
  for (int f = 1; f <= 7; ++f)
    EXPECT_EQ(file_bytes(dir / numbered("whole_%d.png", f)), file_bytes(dir / numbered("part_%d.png", f))) << f;
  // Without --shot a part is a shot of its own: its ramp starts again.
  EXPECT_NE(file_bytes(dir / "whole_4.png"), file_bytes(dir / "alone_4.png"));

  // The depth range comes from the shot's first frame, not the part's:
  // frames whose depths span different distances map alike.
  for (int f = 1; f <= 4; ++f)
    write_float(dir / numbered("z_%d.exr", f), 3, 2, {"R", "G", "B", "A", "Z"},
                [&](int x, int y, int c) { return c == 4 ? (float)(f * (1 + x + 3 * y)) : 0.5f; });
  auto depth = [&](const std::string &out, std::vector<std::string> extra) {
    std::vector<std::string> args{"--plugins", fixture_dir(), "--quiet", "render", "cli_probe", "-i",
                                  dir / "z_%d.exr", "-o", dir / out, "--set", "Mode=1"};
    args.insert(args.end(), extra.begin(), extra.end());
    const Result r = cli_test::seqfx(args);
    EXPECT_EQ(r.code, 0) << r.err;
  };
  depth("zwhole_%d.png", {});
  depth("zpart_%d.png", {"--shot", "1-4", "--frames", "3-4"});
  depth("zalone_%d.png", {"--frames", "3-4"});
  for (int f = 3; f <= 4; ++f)
    EXPECT_EQ(file_bytes(dir / numbered("zwhole_%d.png", f)), file_bytes(dir / numbered("zpart_%d.png", f))) << f;
  EXPECT_NE(file_bytes(dir / "zwhole_3.png"), file_bytes(dir / "zalone_3.png"));

  const Result outside = cli_test::seqfx({"--plugins", fixture_dir(), "render", "cli_probe", "-i", dir / "in_%d.png", "-o",
                                dir / "x_%d.png", "--shot", "2-7", "--frames", "1-3"});
  EXPECT_EQ(outside.code, 1);
  EXPECT_TRUE(contains(outside.err, "frames 1-3 reach outside the shot 2-7 (--shot)")) << outside.err;
}

// A frame that fails in the middle of a parallel run fails the run, names
// the frame and leaves no output behind.
TEST(Parallel, FailureStopsTheRunAndLeavesNothing) {
  TempDir dir;
  for (int f = 1; f <= 9; ++f)
    if (f != 6) write_png(dir / numbered("in_%d.png", f), 4, 4, [](int, int) { return Pixel{9, 9, 9, 255}; });
  const Result r =
      cli_test::seqfx({"--quiet", "render", "invert", "-i", dir / "in_%d.png", "-o", dir / "out_%d.png", "--frames", "1-9",
             "-j", "2"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "frame 6 of")) << r.err;
  for (const std::string &f : dir.files()) EXPECT_EQ(f.compare(0, 4, "out_") == 0 || f[0] == '.', false) << f;

  for (const char *bad : {"0", "x", "2x", "-1"}) {
    const Result e = cli_test::seqfx({"render", "invert", "-i", dir / "in_1.png", "-o", dir / "o.png", "-j", bad});
    EXPECT_EQ(e.code, 1) << bad;
    EXPECT_TRUE(contains(e.err, "-j wants a number of workers from 1 to 1024")) << e.err;
  }
}

}  // namespace
