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
  EXPECT_TRUE(contains(r.out, "module            name                      strips  state  depth  description\n"))
      << r.out;
  // Facts from the manifests beside the modules...
  EXPECT_TRUE(contains(r.out, "invert.so         \"invert\"                  1       no     no     Inverts ")) << r.out;
  EXPECT_TRUE(contains(r.out, "afterglow.so      \"Afterglow\"               1-2     yes    no     ")) << r.out;
  EXPECT_TRUE(contains(r.out, "defocus.so        \"Defocus v1d\"             1       no     yes    ")) << r.out;
  EXPECT_TRUE(contains(r.out, "invisible.so      \"Invisible\"               2       no     no     ")) << r.out;
  // ...and guessed from the table for a module without one.
  EXPECT_TRUE(contains(r.out, "cli_probe.so      \"CLI Probe\"               2       yes    no     "
                              "(no manifest: facts guessed from its table)\n"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "broken.so         (cannot load:")) << r.out;
  EXPECT_FALSE(contains(r.out, "notes")) << r.out;
  // The fixtures' loading trouble is reported in their lines, not by them.
  EXPECT_TRUE(contains(r.out, "wrong_version.so  (cannot load:")) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST(Info, TableAsAPersonReadsIt) {
  Result r = seqfx({"--plugins", fixture_dir(), "info", "cli_probe"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "cli_probe.so \"CLI Probe\": 5 rows, 2 strips, keeps state: yes, needs depth: no, "
                              "float pixels: no, standard entries\n(no manifest: facts guessed from its table)\n"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "0    -- Input: 2 strips --")) << r.out;
  EXPECT_TRUE(contains(r.out, "\"Gain\u2423\"")) << r.out;
  EXPECT_TRUE(contains(r.out, "float slider  1         0..4          a float with a trailing blank")) << r.out;
  EXPECT_TRUE(contains(r.out, "\"Txt:\"")) << r.out;
  EXPECT_TRUE(contains(r.out, "<=8 chars")) << r.out;

  r = seqfx({"info", "invert"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "invert.so \"invert\": 15 rows, 1 strip, keeps state: no, needs depth: no, "
                              "float pixels: no, standard entries\nInverts ")) << r.out;
  EXPECT_TRUE(contains(r.out, "2    \"Red\"               toggle        on        on/off        Invert Red")) << r.out;

  r = seqfx({"info", "nosuch"});
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "unknown plug-in \"nosuch\"")) << r.err;
}

}  // namespace
