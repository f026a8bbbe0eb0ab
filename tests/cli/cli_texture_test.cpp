// seqfx render --texture-from: the mask stands in for a renderer that
// shades afterglow's texture role before each frame. Skipped when afterglow
// was not built.

#include "cli_support.h"

#include <unistd.h>

using namespace cli_test;

namespace {

bool have_afterglow() { return access((module_dir() + "/afterglow.so").c_str(), R_OK) == 0; }

// 16 x 9 files, rows counted from the top. Marks at (4, 2) and (10, 6);
// (12, 1) is marked faintly (alpha 100).
Pixel mask_pixel(int x, int y) {
  if ((x == 4 && y == 2) || (x == 10 && y == 6)) return {0, 0, 0, 255};
  if (x == 12 && y == 1) return {0, 0, 0, 100};
  return {0, 0, 0, 0};
}

std::vector<std::pair<int, int>> opaque(const FilePicture &p) {
  std::vector<std::pair<int, int>> v;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (p.byte_pixel(x, y)[3] == 255) v.push_back({x, y});
  return v;
}

class TextureFrom : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have_afterglow()) GTEST_SKIP() << "afterglow was not built";
    write_png(dir / "in.png", 16, 9, [](int, int) { return Pixel{40, 60, 80, 0}; });
    write_png(dir / "mask.png", 16, 9, mask_pixel);
  }
  Result render(std::vector<std::string> extra) {
    std::vector<std::string> args = {"--quiet", "render", "afterglow", "-i", dir / "in.png",
                                     "-o", dir / "out_%d.png", "--frames", "1-3",
                                     "--texture-from", dir / "mask.png"};
    args.insert(args.end(), extra.begin(), extra.end());
    return seqfx(args);
  }
  TempDir dir;
};

using Places = std::vector<std::pair<int, int>>;

TEST_F(TextureFrom, FirstFrameCancelsThenTheMarkedPixelsGlow) {
  // q = 0: a glow of exactly the marked pixels, opaque on a clear field.
  Result r = render({"--set", "2=0"});  // row 2, "q="
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture first = read_file(dir / "out_1.png");
  // The cancel picture: the cross over the centred 9 x 9 square starts at
  // its bottom left (file row 8, column 3) in red; the field is 16s.
  EXPECT_EQ(first.byte_pixel(3, 8), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(first.byte_pixel(0, 0)[3], 16);
  for (const char *name : {"out_2.png", "out_3.png"})
    EXPECT_EQ(opaque(read_file(dir / name)), (Places{{12, 1}, {4, 2}, {10, 6}})) << name;
}

TEST_F(TextureFrom, ThresholdLeavesFaintPixelsOutAndTheGlowSpreads) {
  Result r = render({"--texture-threshold", "0.5"});
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture glow = read_file(dir / "out_2.png");
  EXPECT_EQ(glow.byte_pixel(12, 1)[3], 0);
  // With the default width the glow reaches the neighbours of a mark.
  EXPECT_GT(glow.byte_pixel(4, 2)[3], glow.byte_pixel(5, 2)[3]);
  EXPECT_GT(glow.byte_pixel(5, 2)[3], 0);
  EXPECT_EQ(glow.byte_pixel(15, 8)[3], 0);

  r = render({"--texture-threshold", "2"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "--texture-threshold wants an alpha from 0 to 1, not \"2\"")) << r.err;
}

TEST_F(TextureFrom, OnlyForModulesWithATextureRole) {
  Result r = seqfx({"--quiet", "render", "invert", "-i", dir / "in.png", "-o", dir / "o.png",
                    "--texture-from", dir / "mask.png"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "no plugin_tex_getversion entry")) << r.err;
}

}  // namespace
