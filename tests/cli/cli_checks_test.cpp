// render checks its inputs against what a module declares it needs before
// the first frame: a mismatch is refused with one line and nothing
// written; for a module without a manifest it is only a warning.

#include "cli_support.h"

using namespace cli_test;

namespace {

struct Refusal {
  std::vector<std::string> args;  // "@" stands for the temp folder
  const char *message;
};

TEST(Checks, InputsThatDoNotFitTheModuleAreRefusedBeforeAnyFrame) {
  const std::vector<Refusal> cases = {
      {{"render", "defocus", "-i", "@/a.png", "-o", "@/out.png"},
       "seqfx: defocus needs a depth plane: give an EXR with a Z channel or --depth FILE\n"},
      {{"render", "wipeout", "-i", "@/a.png", "-i", "@/b.png", "-o", "@/out.png"},
       "seqfx: wipeout needs 3 strips: give 3 inputs with -i (2 given)\n"},
      {{"render", "sweep", "-i", "@/a.png", "-o", "@/out.png", "--factor", "0.5"},
       "seqfx: sweep needs 2 strips: give 2 inputs with -i (1 given)\n"},
      {{"render", "invert", "-i", "@/a.png", "-i", "@/b.png", "-o", "@/out.png"},
       "seqfx: invert reads 1 strip: give 1 input with -i (2 given)\n"},
      {{"render", "afterglow", "-i", "@/a.png", "-i", "@/b.png", "-i", "@/a.png", "-o", "@/out.png"},
       "seqfx: afterglow reads at most 2 strips: give at most 2 inputs with -i (3 given)\n"},
      // A sequence is checked on its first frame, before anything is written.
      {{"render", "defocus", "-i", "@/seq_%d.png", "-o", "@/out_%d.png", "-j", "2"},
       "seqfx: defocus needs a depth plane: give an EXR with a Z channel or --depth FILE\n"},
  };
  TempDir dir;
  make_test_frames(dir / "a.png", 1, 16, 12);
  make_test_frames(dir / "b.png", 1, 16, 12);
  make_test_frames(dir / "seq_1.png", 1, 16, 12);
  make_test_frames(dir / "seq_2.png", 1, 16, 12);
  const auto before = dir.files();
  for (const Refusal &c : cases) {
    std::vector<std::string> args;
    for (std::string a : c.args) {
      if (a[0] == '@') a = dir.path() + a.substr(1);
      args.push_back(a);
    }
    const Result r = seqfx(args);
    EXPECT_EQ(r.code, 1) << c.message;
    // The last line (a module may have printed while loading).
    const std::size_t last = r.err.rfind('\n', r.err.size() - 2);
    EXPECT_EQ(r.err.substr(last == std::string::npos ? 0 : last + 1), c.message);
    EXPECT_EQ(dir.files(), before) << c.message;
  }
}

TEST(Checks, DepthFromAnExrOrFromDepthFileSatisfiesTheModule) {
  TempDir dir;
  write_float(dir / "shot.exr", 16, 12, {"R", "G", "B", "A", "Z"},
              [](int x, int, int c) { return c == 4 ? 1.0f + (float)x : c == 3 ? 1.0f : 0.5f; });
  Result r = seqfx({"render", "defocus", "-i", dir / "shot.exr", "-o", dir / "out.png"});
  EXPECT_EQ(r.code, 0) << r.err;

  make_test_frames(dir / "a.png", 1, 16, 12);
  write_float(dir / "z.exr", 16, 12, {"Z"}, [](int x, int, int) { return 1.0f + (float)x; });
  r = seqfx({"render", "defocus", "-i", dir / "a.png", "--depth", dir / "z.exr", "-o", dir / "out2.png"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "out2.png").width, 16);
}

TEST(Checks, GuessedNeedsOnlyWarnAndFloatForAByteModuleIsNoted) {
  TempDir dir;
  make_test_frames(dir / "a.png", 1, 8, 6);
  // The probe has no manifest: its two strips are read from its table.
  Result r = seqfx({"--plugins", fixture_dir(), "render", "cli_probe", "-i", dir / "a.png", "-o", dir / "out.png",
                    "--set", "Mode=2"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.err, "seqfx: warning: cli_probe needs 2 strips: give 2 inputs with -i (1 given) "
                              "(a guess: the module has no manifest)\n"))
      << r.err;
  EXPECT_EQ(read_file(dir / "out.png").width, 8);

  r = seqfx({"render", "invert", "-i", dir / "a.png", "-o", dir / "out.exr", "--float"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.err, "seqfx: invert reads only 8-bit pixels: --float gives it nothing more, its result "
                              "is 8-bit\n"))
      << r.err;
}

}  // namespace
