// seqfx installed: the program finds the modules installed beside it, with
// their manifests, and names no folder of the tree it was built from.

#include "cli_support.h"

using namespace cli_test;

namespace {

TEST(Install, ProgramFindsItsModulesAndManifests) {
  TempDir prefix;
  std::string log;
  ASSERT_EQ(run({SEQFX_CMAKE, "--install", SEQFX_BUILD_DIR, "--prefix", prefix.path()}, &log), 0) << log;
  const std::string modules = prefix / "lib/seqfx/modules";
  EXPECT_FALSE(file_bytes(modules + "/invert.json").empty());

  std::string out;
  ASSERT_EQ(run({prefix / "bin/seqfx", "list"}, &out), 0) << out;
  // Facts from the installed manifests, not guessed.
  EXPECT_TRUE(contains(out, "invert.so         \"invert\"                  1       no     no     Inverts ")) << out;
  EXPECT_FALSE(contains(out, "guessed")) << out;
  EXPECT_FALSE(contains(out, SEQFX_BUILD_DIR)) << out;
  // The module's page, installed beside it.
  ASSERT_EQ(run({prefix / "bin/seqfx", "info", "invert"}, &out), 0) << out;
  EXPECT_TRUE(contains(out, "\npage: " + prefix.path() + "/share/doc/seqfx/modules/invert.md\n")) << out;
  // Pictures go through the picture library installed beside the program.
  write_png(prefix / "in.png", 3, 2, [](int, int) { return Pixel{10, 20, 30, 255}; });
  ASSERT_EQ(run({prefix / "bin/seqfx", "render", "invert", "-i", prefix / "in.png", "-o", prefix / "out.png"}, &out), 0)
      << out;
  EXPECT_EQ(read_file(prefix / "out.png").byte_pixel(2, 1), (Pixel{245, 235, 225, 255}));

#ifndef SEQFX_SANITIZED
  // Neither the program nor a module carries the build or source folder.
  // (Sanitizer instrumentation records the source file of every global it
  // guards, so a sanitized build is not checked.)
  for (const std::string &binary : {prefix / "bin/seqfx", prefix / "lib/libseqfx_pictures.so", modules + "/invert.so",
                                    modules + "/afterglow.so"}) {
    const std::string bytes = file_bytes(binary);
    EXPECT_EQ(bytes.find(SEQFX_BUILD_DIR), std::string::npos) << binary;
    EXPECT_EQ(bytes.find(SEQFX_SOURCE_DIR), std::string::npos) << binary;
  }
#endif
}

}  // namespace
