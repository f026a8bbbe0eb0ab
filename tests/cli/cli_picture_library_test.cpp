// The picture library is loaded only when a run reads or writes a picture:
// a program without it still handles video and lists its modules, and a
// missing or foreign library is named when a picture needs it.

#include "cli_video_support.h"

#include <unistd.h>

#include <fstream>

using namespace cli_test;

namespace {

// A copy of the program in dir/bin with an empty lib folder beside it.
std::string lone_program(const TempDir &dir) {
  EXPECT_EQ(run({"mkdir", "-p", dir / "bin", dir / "lib"}), 0);
  EXPECT_EQ(run({"cp", SEQFX_CLI, dir / "bin/seqfx"}), 0);
  return dir / "bin/seqfx";
}

TEST(PictureLibrary, OnlyPicturesNeedIt) {
  TempDir dir;
  const std::string seqfx = lone_program(dir);
  std::string out;
  ASSERT_EQ(run({seqfx, "--plugins", module_dir(), "list"}, &out), 0) << out;
  EXPECT_TRUE(contains(out, "invert.so")) << out;

  // Video in and out: no picture is touched.
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=32x24:rate=10", "-frames:v", "2", "-pix_fmt", "yuv420p",
                      dir / "in.mp4"}));
  ASSERT_EQ(run({seqfx, "--plugins", module_dir(), "render", "invert", "-i", dir / "in.mp4", "-o", dir / "out.mp4"}, &out), 0) << out;

  // A picture: the error names the library the program looked for.
  write_png(dir / "in.png", 2, 2, [](int, int) { return Pixel{1, 2, 3, 255}; });
  const std::vector<std::string> still = {seqfx, "--plugins", module_dir(), "render", "invert", "-i", dir / "in.png", "-o", dir / "out.png"};
  Result r = run_apart(still);
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "seqfx: cannot load the picture library " + dir.path() + "/bin/../lib/libseqfx_pictures.so"))
      << r.err;

  // A damaged file in its place, then a library that is not the picture
  // library (a module): both are refused with the library's name.
  std::ofstream(dir / "lib/libseqfx_pictures.so") << "not a library";
  r = run_apart(still);
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "cannot load the picture library")) << r.err;
  ASSERT_EQ(run({"cp", module_dir() + "/invert.so", dir / "lib/libseqfx_pictures.so"}), 0);
  r = run_apart(still);
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "the picture library " + dir.path() + "/bin/../lib/libseqfx_pictures.so does not belong"))
      << r.err;
  EXPECT_EQ(access((dir / "out.png").c_str(), F_OK), -1);
}

}  // namespace
