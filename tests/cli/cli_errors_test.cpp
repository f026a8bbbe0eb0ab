// Every bad input gets one line on standard error, a non-zero exit and
// leaves no output behind.

#include "cli_support.h"

#include <algorithm>
#include <cstdio>

using namespace cli_test;

namespace {

Pixel grey(int, int) { return {128, 128, 128, 255}; }

struct Case {
  const char *what;
  std::vector<std::string> args;  // "@" stands for the temp folder
  const char *message;
};

TEST(Errors, EachBadInputNamesItsFaultAndWritesNothing) {
  const std::vector<Case> cases = {
      {"unknown plug-in", {"render", "nosuch", "-i", "@/a.png", "-o", "@/out.png"},
       "unknown plug-in \"nosuch\": no nosuch.so in"},
      {"unknown parameter", {"render", "invert", "-i", "@/a.png", "-o", "@/out.png", "--set", "Purple=1"},
       "invert has no parameter \"Purple\""},
      {"ambiguous parameter",
       {"--plugins", fixture_dir(), "render", "all_kinds", "-i", "@/a.png", "-o", "@/out.png", "--set", "gamma=1"},
       "parameter name \"gamma\" is ambiguous: rows 2 \"Gamma \", 3 \"Gamma\""},
      {"row out of the table", {"render", "invert", "-i", "@/a.png", "-o", "@/out.png", "--set", "99=1"},
       "invert has no row 99"},
      {"label row", {"render", "invert", "-i", "@/a.png", "-o", "@/out.png", "--set", "0=1"},
       "\"Input: 1 strip\" is a label and holds no value"},
      {"value out of range", {"render", "invert", "-i", "@/a.png", "-o", "@/out.png", "--set", "Hue=1.5"},
       "invert row 12 \"Hue\": 1.5 is outside its range -1..1"},
      {"not a number", {"render", "invert", "-i", "@/a.png", "-o", "@/out.png", "--set", "Hue=lots"},
       "takes a number, not \"lots\""},
      {"bad toggle", {"render", "invert", "-i", "@/a.png", "-o", "@/out.png", "--set", "Red=maybe"},
       "is a toggle: give on or off"},
      {"bad colour",
       {"--plugins", fixture_dir(), "render", "cli_probe", "-i", "@/a.png", "-o", "@/out.png", "--set", "Mark=#12345"},
       "\"#12345\" is not a colour"},
      {"text too long",
       {"--plugins", fixture_dir(), "render", "cli_probe", "-i", "@/a.png", "-o", "@/out.png", "--set",
        "Txt:=far too long"},
       "holds at most 8 characters"},
      {"missing file", {"render", "invert", "-i", "@/gone.png", "-o", "@/out.png"},
       "cannot read @/gone.png: No such file or directory"},
      {"unreadable file", {"render", "invert", "-i", "@/junk.png", "-o", "@/out.png"}, "cannot read @/junk.png"},
      {"inputs of different sizes", {"render", "sweep", "-i", "@/a.png", "-i", "@/small.png", "-o", "@/out.png"},
       "inputs of different sizes: @/a.png is 6x4, @/small.png is 3x3"},
      {"pattern without frames", {"render", "invert", "-i", "@/shot_%04d.png", "-o", "@/out_%04d.png"},
       "\"@/shot_%04d.png\" matches no frame"},
      {"frame missing in the range",
       {"render", "invert", "-i", "@/seq_%d.png", "-o", "@/out_%d.png", "--frames", "1-3"},
       "frame 3 of \"@/seq_%d.png\" is missing: no @/seq_3.png"},
      {"several frames into one picture", {"render", "invert", "-i", "@/seq_%d.png", "-o", "@/out.png"},
       "2 frames need a numbered output name like out_%04d.png or a video"},
      {"output folder missing", {"render", "invert", "-i", "@/a.png", "-o", "@/no/out.png"}, "no folder @/no"},
      {"unknown output format", {"render", "invert", "-i", "@/a.png", "-o", "@/out.xyz"}, "cannot write @/out.xyz"},
      {"depth to an 8-bit format",
       {"render", "invert", "-i", "@/a.png", "-o", "@/out.png", "--depth-out", "@/z.png"},
       "depth is written to a float format"},
      {"bad factor", {"render", "invert", "-i", "@/a.png", "-o", "@/out.png", "--factor", "0:x"},
       "--factor wants a number F or a ramp A:B, not \"0:x\""},
      {"bad frame range", {"render", "invert", "-i", "@/a.png", "-o", "@/out_%d.png", "--frames", "5-2"},
       "--frames wants S-E"},
      {"bad depth range", {"render", "invert", "-i", "@/a.png", "-o", "@/out.png", "--depth-range", "5:5"},
       "--depth-range wants NEAR:FAR with NEAR < FAR"},
      {"unknown option", {"render", "invert", "-i", "@/a.png", "-o", "@/out.png", "--sparkle"},
       "unknown render option --sparkle"},
      {"no output", {"render", "invert", "-i", "@/a.png"}, "render needs an output: -o FILE"},
      {"unknown command", {"paint"}, "unknown command \"paint\""},
      {"module folder missing", {"--plugins", "@/nowhere", "list"}, "--plugins: no folder @/nowhere"},
  };
  for (const Case &c : cases) {
    TempDir dir;
    write_png(dir / "a.png", 6, 4, grey);
    write_png(dir / "small.png", 3, 3, grey);
    write_png(dir / "seq_1.png", 6, 4, grey);
    write_png(dir / "seq_2.png", 6, 4, grey);
    std::FILE *f = std::fopen((dir / "junk.png").c_str(), "w");
    std::fputs("not a picture\n", f);
    std::fclose(f);
    const auto before = dir.files();

    std::vector<std::string> args;
    for (std::string a : c.args) {
      for (std::size_t p; (p = a.find('@')) != std::string::npos;) a.replace(p, 1, dir.path());
      args.push_back(a);
    }
    std::string message = c.message;
    for (std::size_t p; (p = message.find('@')) != std::string::npos;) message.replace(p, 1, dir.path());

    Result r = seqfx(args);
    EXPECT_NE(r.code, 0) << c.what;
    EXPECT_TRUE(contains(r.err, message)) << c.what << ": " << r.err;
    // One line of its own: the last (a progress line may come before it).
    const std::size_t at = r.err.find("seqfx: ");
    EXPECT_TRUE(at == 0 || (at != std::string::npos && r.err[at - 1] == '\n')) << c.what << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin() + (long)std::min(at, r.err.size()), r.err.end(), '\n'), 1)
        << c.what << ": " << r.err;
    EXPECT_EQ(dir.files(), before) << c.what;
  }
}

TEST(Errors, AFailureLateInASequenceTakesBackTheFramesBefore) {
  TempDir dir;
  write_png(dir / "f_1.png", 4, 4, grey);
  write_png(dir / "f_2.png", 4, 4, grey);
  write_png(dir / "f_3.png", 5, 5, grey);  // another size, found at frame 3
  write_png(dir / "b_1.png", 4, 4, grey);
  write_png(dir / "b_2.png", 4, 4, grey);
  write_png(dir / "b_3.png", 4, 4, grey);
  write_png(dir / "out_1.png", 1, 1, grey);  // an older result stays as it was
  const auto before = dir.files();
  Result r =
      seqfx({"render", "sweep", "-i", dir / "f_%d.png", "-i", dir / "b_%d.png", "-o", dir / "out_%d.png", "-y"});
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "inputs of different sizes")) << r.err;
  EXPECT_EQ(dir.files(), before);
  EXPECT_EQ(read_file(dir / "out_1.png").width, 1);
}

}  // namespace
