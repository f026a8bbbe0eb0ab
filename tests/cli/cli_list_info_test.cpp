// seqfx list and seqfx info.

#include "cli_support.h"

#include <cstdio>
#include <sys/stat.h>

using namespace cli_test;

namespace {

TEST(List, ModulesFromEveryFolderOneLineEach) {
  TempDir extra;
  std::FILE *f = std::fopen((extra / "notes.txt").c_str(), "w");
  std::fputs("not a module\n", f);
  std::fclose(f);
  f = std::fopen((extra / "broken.so").c_str(), "w");
  std::fputs("not a module either\n", f);
  std::fclose(f);

  Result r = seqfx({"--plugins", fixture_dir(), "--plugins", extra.path(), "list"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "invert.so")) << r.out;
  EXPECT_TRUE(contains(r.out, "\"invert\"")) << r.out;
  EXPECT_TRUE(contains(r.out, "cli_probe.so      \"CLI Probe\"               2       ?")) << r.out;
  EXPECT_TRUE(contains(r.out, "broken.so         (cannot load:")) << r.out;
  EXPECT_FALSE(contains(r.out, "notes")) << r.out;
  // The fixtures' loading trouble is reported in their lines, not by them.
  EXPECT_TRUE(contains(r.out, "wrong_version.so  (cannot load:")) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST(Info, TableAsAPersonReadsIt) {
  Result r = seqfx({"--plugins", fixture_dir(), "info", "cli_probe"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "cli_probe.so \"CLI Probe\": 5 rows, 2 strips")) << r.out;
  EXPECT_TRUE(contains(r.out, "0    -- Input: 2 strips --")) << r.out;
  EXPECT_TRUE(contains(r.out, "\"Gain\u2423\"")) << r.out;
  EXPECT_TRUE(contains(r.out, "float slider  1         0..4          a float with a trailing blank")) << r.out;
  EXPECT_TRUE(contains(r.out, "\"Txt:\"")) << r.out;
  EXPECT_TRUE(contains(r.out, "<=8 chars")) << r.out;

  r = seqfx({"info", "invert"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "2    \"Red\"               toggle        on        on/off        Invert Red")) << r.out;

  r = seqfx({"info", "nosuch"});
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "unknown plug-in \"nosuch\"")) << r.err;
}

}  // namespace
