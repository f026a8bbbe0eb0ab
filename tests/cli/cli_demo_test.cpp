// seqfx demo: the built-in scene through modules and their demo.cfg, with
// failing settings reported while the demo goes on.

#include "cli_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cstdint>
#include <fstream>

using namespace cli_test;

namespace {

std::int32_t z_of(const Pixel &p) {
  return (std::int32_t)(((std::uint32_t)p[0] << 24) | ((std::uint32_t)p[1] << 16) | ((std::uint32_t)p[2] << 8) | p[3]);
}

// A module folder in dir holding the probe and its demo settings.
std::string probe_folder(const TempDir &dir, const std::string &settings) {
  const std::string mods = dir / "modules";
  EXPECT_EQ(mkdir(mods.c_str(), 0777), 0);
  EXPECT_EQ(symlink((fixture_dir() + "/cli_probe.so").c_str(), (mods + "/cli_probe.so").c_str()), 0);
  std::ofstream(mods + "/cli_probe.demo.cfg") << settings;
  return mods;
}

TEST(Demo, EveryModuleEverySettingSheetAndPage) {
  TempDir dir;
  const std::string mods = probe_folder(dir, "# settings for the probe\n"
                                             "\n"
                                             "depth of the scene | --set Mode=1   # a comment\n"
                                             "frames and factors | --set Mode=2 --frames 1-3 --factor 0:1\n"
                                             "green, top row marked | --scene green --set Mark=#ff0000 --strips 1\n"
                                             "second strip | --set Mode=5 --scene2 plate\n"
                                             "typo | --sett Mode=1\n"
                                             "crash | --set Mode=6\n");

  Result r = seqfx({"--plugins", mods, "demo", dir / "out", "--only", "cli_probe,invert"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "cli_probe        4 pictures, 2 failed")) << r.out;
  EXPECT_TRUE(contains(r.out, "invert           4 pictures")) << r.out;
  EXPECT_TRUE(contains(r.err, "cli_probe \"typo\" failed: " + mods + "/cli_probe.demo.cfg:7: unknown demo option --sett"))
      << r.err;
  EXPECT_TRUE(contains(r.err, "cli_probe \"crash\" failed: crashed")) << r.err;

  // The results and nothing else: no pictures for the failed settings,
  // no temporary files.
  const std::string out = dir / "out";
  std::vector<std::string> files;
  if (DIR *dd = opendir(out.c_str())) {
    for (dirent *e; (e = readdir(dd));)
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") files.push_back(e->d_name);
    closedir(dd);
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"cli_probe-1.png", "cli_probe-2.png", "cli_probe-3.png", "cli_probe-4.png",
                                             "contact-sheet.png", "index.html", "invert-1.png", "invert-2.png",
                                             "invert-3.png", "invert-4.png"}));

  // The scene carries depth: the floor at the bottom is nearer than the sky.
  FilePicture depth = read_file(out + "/cli_probe-1.png");
  ASSERT_EQ(depth.width, 320);
  ASSERT_EQ(depth.height, 240);
  EXPECT_LT(z_of(depth.byte_pixel(160, 235)), z_of(depth.byte_pixel(160, 30)));
  EXPECT_EQ(z_of(depth.byte_pixel(300, 5)), INT32_MAX);  // the sky, at the far end

  // Three frames side by side, the factor ramping and cfra counting.
  FilePicture strip = read_file(out + "/cli_probe-2.png");
  ASSERT_EQ(strip.width, 3 * 320);
  EXPECT_EQ(strip.byte_pixel(10, 10), (Pixel{0, 0, 1, 255}));
  EXPECT_EQ(strip.byte_pixel(330, 10), (Pixel{127, 127, 2, 255}));
  EXPECT_EQ(strip.byte_pixel(650, 10), (Pixel{255, 255, 3, 255}));

  // The green backdrop, upright: the module's top row on top.
  FilePicture green = read_file(out + "/cli_probe-3.png");
  EXPECT_EQ(green.byte_pixel(200, 0), (Pixel{255, 0, 0, 255}));
  const Pixel g = green.byte_pixel(310, 100);
  EXPECT_GT(g[1], 120);
  EXPECT_LT(g[0], 60);

  // The page names every module and setting, failures with their reason.
  const std::string html = file_bytes(out + "/index.html");
  for (const char *s : {"CLI Probe", "invert", "depth of the scene", "frames and factors", "cli_probe-4.png",
                        "unknown demo option --sett", "crashed", "contact-sheet.png", "cli_probe: frame 1 mode 1"})
    EXPECT_TRUE(contains(html, s)) << s;
  FilePicture sheet = read_file(out + "/contact-sheet.png");
  EXPECT_GT(sheet.width, 5 * 160);
  EXPECT_GT(sheet.height, 2 * 120);
}

TEST(Demo, PicturesAreShownOverACheckerboardOrOpaque) {
  TempDir dir;
  // Mode 4 without float planes leaves the output transparent black.
  const std::string mods = probe_folder(dir, "transparent | --set Mode=4\n"
                                             "opaque | --set Mode=4 --alpha opaque\n");
  Result r = seqfx({"--plugins", mods, "demo", dir / "out", "--only", "cli_probe"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "out/cli_probe-1.png").byte_pixel(5, 5), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(read_file(dir / "out/cli_probe-2.png").byte_pixel(5, 5), (Pixel{0, 0, 0, 255}));

  // The first tile (at 12,36) shows the checkerboard's light and dark
  // squares, the second (172 pixels on) the opaque black.
  FilePicture sheet = read_file(dir / "out/contact-sheet.png");
  EXPECT_EQ(sheet.byte_pixel(14, 38), (Pixel{153, 153, 153, 255}));
  EXPECT_EQ(sheet.byte_pixel(22, 38), (Pixel{102, 102, 102, 255}));
  EXPECT_EQ(sheet.byte_pixel(186, 38), (Pixel{0, 0, 0, 255}));
  EXPECT_TRUE(contains(file_bytes(dir / "out/index.html"), "img{background-color:#999999;background-image:linear-gradient"));
}

TEST(Demo, UnknownModuleIsAnError) {
  TempDir dir;
  Result r = seqfx({"demo", dir / "out", "--only", "nosuch"});
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "unknown plug-in \"nosuch\"")) << r.err;
}

}  // namespace
