// seqfx render on real files: row order, values, sequences with factor
// ramps, depth in and out, float pixels and the modules' console.

#include "cli_support.h"

#include <cmath>
#include <cstdint>

using namespace cli_test;

namespace {

const Pixel kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kGreen{0, 255, 0, 255};

std::vector<std::string> probe(std::vector<std::string> args) {
  args.insert(args.begin(), {"--plugins", fixture_dir(), "render", "cli_probe"});
  return args;
}

// A picture whose top row is green and whose other pixels tell their place.
Pixel marked(int x, int y) {
  if (y == 0) return kGreen;
  return {(unsigned char)(10 * x), (unsigned char)(20 * y), 99, 255};
}

std::int32_t z_of(const Pixel &p) {
  return (std::int32_t)(((std::uint32_t)p[0] << 24) | ((std::uint32_t)p[1] << 16) | ((std::uint32_t)p[2] << 8) | p[3]);
}

TEST(Render, PngRowsStayUprightBothWays) {
  TempDir dir;
  write_png(dir / "in.png", 8, 6, marked);

  // The module paints the record's last row (the top of the picture) in
  // the Mark colour and row 0 (the bottom) blue.
  Result r = seqfx(probe({"-i", dir / "in.png", "-o", dir / "out.png", "--set", "Mark=#ff0000"}));
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture out = read_file(dir / "out.png");
  ASSERT_EQ(out.width, 8);
  ASSERT_EQ(out.height, 6);
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(out.byte_pixel(x, 0), kRed) << x;
    EXPECT_EQ(out.byte_pixel(x, 5), kBlue) << x;
    for (int y = 1; y < 5; ++y) EXPECT_EQ(out.byte_pixel(x, y), marked(x, y)) << x << "," << y;
  }

  // invert through the same files: every byte exact, nothing moved.
  r = seqfx({"render", "invert", "-i", dir / "in.png", "-o", dir / "inv.png", "--set", "Alpha=on"});
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture inv = read_file(dir / "inv.png");
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const Pixel a = marked(x, y), b = inv.byte_pixel(x, y);
      for (int c = 0; c < 4; ++c) ASSERT_EQ(b[c], 255 - a[c]) << x << "," << y << " channel " << c;
    }
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.png", "inv.png", "out.png"}));
}

TEST(Render, ValuesByRowNumberNameAndNotation) {
  TempDir dir;
  write_png(dir / "in.png", 4, 4, marked);
  // Row 2 by number as r,g,b; the name "Gain " found without its blank and
  // in another case; the text row's first byte lands in pixel 0.
  Result r = seqfx(probe({"-i", dir / "in.png", "-o", dir / "a.png", "--set", "2=0,0,255", "--set", "gain=2.5",
                          "--set", "mode=5", "--set", "Txt:=Hi there"}));
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture a = read_file(dir / "a.png");
  EXPECT_EQ(a.byte_pixel(0, 3)[0], 'H');  // pixel 0 is the bottom left
  EXPECT_EQ(a.byte_pixel(1, 3), marked(1, 3));

  r = seqfx(probe({"-i", dir / "in.png", "-o", dir / "b.png", "--set", "Mark=#00ff0080"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "b.png").byte_pixel(2, 0), (Pixel{0, 255, 0, 128}));
}

TEST(Render, SequenceRampsFactorsOverTheFrames) {
  TempDir dir;
  for (int f = 3; f <= 7; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "in_%02d.png", f);
    write_png(dir / name, 4, 3, marked);
  }
  write_png(dir / "in_9.png", 4, 3, marked);  // not a name %02d writes

  Result r = seqfx(probe({"-i", dir / "in_%02d.png", "-i", dir / "in_%02d.png", "-o", dir / "out_%03d.png", "--set", "Mode=2",
                          "--factor", "0:1", "-j", "1"}));
  ASSERT_EQ(r.code, 0) << r.err;
  // A progress line per frame where standard error is no terminal.
  EXPECT_TRUE(contains(r.err, "frame 5/5")) << r.err;
  for (int f = 3; f <= 7; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "out_%03d.png", f);
    const Pixel p = read_file(dir / name).byte_pixel(1, 1);
    const int expect = (int)((float)((f - 3) / 4.0) * 255.0f);
    EXPECT_EQ(p[0], expect) << name;
    EXPECT_EQ(p[1], expect) << name << ": factor1 follows factor0";
    EXPECT_EQ(p[2], f) << name << ": cfra";
  }
  EXPECT_FALSE(contains(r.err, "seqfx:"));

  // --frames picks a part; the ramp spans just that part; factor1 on its own.
  r = seqfx(probe({"-i", dir / "in_%02d.png", "-o", dir / "part_%d.png", "--set", "Mode=2", "--frames", "4-5",
                   "--factor", "1:0", "--factor1", "0.5"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "part_4.png").byte_pixel(0, 0), (Pixel{255, 127, 4, 255}));
  EXPECT_EQ(read_file(dir / "part_5.png").byte_pixel(0, 0), (Pixel{0, 127, 5, 255}));
  EXPECT_EQ(dir.files().size(), 6u + 5u + 2u);

  // A still serves every frame of a range.
  r = seqfx(probe({"-i", dir / "in_03.png", "-o", dir / "still_%d.png", "--set", "Mode=2", "--frames", "1-2"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "still_2.png").byte_pixel(0, 0)[2], 2);
}

TEST(Render, ExrDepthChannelFeedsTheDepthPlane) {
  TempDir dir;
  // Distance grows to the right and towards the top of the picture.
  auto distance = [](int x, int y_top) { return 1.0f + x + 10.0f * (3 - y_top); };
  write_float(dir / "in.exr", 5, 4, {"R", "G", "B", "A", "Z"},
              [&](int x, int y, int c) { return c < 4 ? 0.5f : distance(x, y); });

  Result r = seqfx(probe({"-i", dir / "in.exr", "-o", dir / "z.png", "--set", "Mode=1", "--depth-range", "0:40"}));
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture z = read_file(dir / "z.png");
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) {
      const double expect = -2147483648.0 + distance(x, y) / 40.0 * 4294967295.0;
      EXPECT_NEAR((double)z_of(z.byte_pixel(x, y)), expect, 1.0) << x << "," << y;
    }

  // Without a range the frame's own extent spans the whole 32-bit range.
  r = seqfx(probe({"-i", dir / "in.exr", "-o", dir / "auto.png", "--set", "Mode=1"}));
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture a = read_file(dir / "auto.png");
  EXPECT_EQ(z_of(a.byte_pixel(0, 3)), INT32_MIN);  // nearest: bottom left
  EXPECT_EQ(z_of(a.byte_pixel(4, 0)), INT32_MAX);  // farthest: top right
  EXPECT_LT(z_of(a.byte_pixel(1, 3)), z_of(a.byte_pixel(2, 3)));

  // A separate one-channel depth file, and the output's depth plane back
  // out as distances.
  write_png(dir / "rgb.png", 5, 4, marked);
  write_float(dir / "depth.exr", 5, 4, {"Y"}, [&](int x, int y, int) { return distance(x, y); });
  r = seqfx(probe({"-i", dir / "rgb.png", "--depth", dir / "depth.exr", "-o", dir / "copy.png", "--set", "Mode=3",
                   "--depth-range", "0:40", "--depth-out", dir / "zout.exr"}));
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture back = read_file(dir / "zout.exr");
  ASSERT_EQ(back.channels, 1);
  EXPECT_EQ(back.names[0], "Z");
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_NEAR(back.at(x, y, 0), distance(x, y), 1e-5) << x << "," << y;

  // A module that attaches no depth plane leaves nothing to write.
  r = seqfx(probe({"-i", dir / "rgb.png", "-o", dir / "none.png", "--depth-out", dir / "none.exr"}));
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "attached no depth plane")) << r.err;
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"auto.png", "copy.png", "depth.exr", "in.exr", "rgb.png",
                                                   "z.png", "zout.exr"}));
}

TEST(Render, FloatPixelsInAndOut) {
  TempDir dir;
  write_float(dir / "in.exr", 3, 2, {"R", "G", "B", "A"}, [](int x, int, int c) { return c == 3 ? 1.0f : 0.25f * x + c; });
  Result r = seqfx(probe({"-i", dir / "in.exr", "-o", dir / "out.exr", "--set", "Mode=4", "--float"}));
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture out = read_file(dir / "out.exr");
  ASSERT_EQ(out.channels, 4);
  for (int x = 0; x < 3; ++x) {
    EXPECT_FLOAT_EQ(out.at(x, 0, 0), 1.0f - 0.25f * x);
    EXPECT_FLOAT_EQ(out.at(x, 1, 2), 1.0f - (0.25f * x + 2));  // beyond 0..1, kept
    EXPECT_FLOAT_EQ(out.at(x, 0, 3), 0.0f);
  }
  // A module that writes floats only still gives an 8-bit picture, in
  // sRGB: linear 0.5 shows as 188.
  r = seqfx(probe({"-i", dir / "in.exr", "-o", dir / "out.png", "--set", "Mode=4", "--float"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "out.png").byte_pixel(2, 0), (Pixel{188, 0, 0, 0}));
  // One that ignores them is written from its bytes, also to a float
  // format: linear 0.25 is read as sRGB 137, inverted to 118, written back
  // as linear light.
  r = seqfx({"render", "invert", "-i", dir / "in.exr", "-o", dir / "inv.exr", "--float"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NEAR(read_file(dir / "inv.exr").at(1, 0, 0), std::pow((118 / 255.0f + 0.055f) / 1.055f, 2.4f), 1e-3f);

  // Without --float the module finds no float planes.
  r = seqfx(probe({"-i", dir / "in.exr", "-o", dir / "plain.exr", "--set", "Mode=4"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.err, "cli_probe: no floatbuf (frame 1)\n")) << r.err;
}

TEST(Render, QuietSilencesTheModuleButNotTheProgress) {
  TempDir dir;
  write_png(dir / "in.png", 2, 2, marked);
  Result loud = seqfx(probe({"-i", dir / "in.png", "-o", dir / "a.png"}));
  ASSERT_EQ(loud.code, 0) << loud.err;
  // The module's lines, from standard output and error alike, come after
  // the run on standard error.
  EXPECT_EQ(loud.out, "");
  EXPECT_TRUE(contains(loud.err, "cli_probe: frame 1 mode 0 (frame 1)\n")) << loud.err;
  EXPECT_TRUE(contains(loud.err, "cli_probe: to stderr (frame 1)\n")) << loud.err;
  EXPECT_FALSE(contains(loud.err, "frame 1/1")) << "no bar for one frame";

  Result quiet = seqfx({"--quiet", "--plugins", fixture_dir(), "render", "cli_probe", "-i", dir / "in.png", "-o",
                        dir / "b_%d.png", "--frames", "1-3", "-j", "1"});
  ASSERT_EQ(quiet.code, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
  EXPECT_FALSE(contains(quiet.err, "cli_probe:")) << quiet.err;
  EXPECT_TRUE(contains(quiet.err, "frame 3/3")) << quiet.err;
}

}  // namespace
