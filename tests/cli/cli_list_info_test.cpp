// seqfx list and seqfx info.

#include "cli_support.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>

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

  // Its page, shipped beside the program.
  const std::size_t page = r.out.find("\npage: ");
  ASSERT_NE(page, std::string::npos) << r.out;
  const std::string path = r.out.substr(page + 7, r.out.find('\n', page + 1) - page - 7);
  EXPECT_TRUE(contains(path, "/share/doc/seqfx/modules/invert.md")) << path;
  std::FILE *f = std::fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr) << path;
  char head[32] = {};
  EXPECT_NE(std::fgets(head, sizeof head, f), nullptr);
  std::fclose(f);
  EXPECT_EQ(std::string(head), "# invert (\"invert\")\n");

  // A module whose folder (and page) is named apart from it: its page is
  // still found under the module's name.
  r = seqfx({"info", "speckle"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::size_t other = r.out.find("\npage: ");
  ASSERT_NE(other, std::string::npos) << r.out;
  const std::string other_path = r.out.substr(other + 7, r.out.find('\n', other + 1) - other - 7);
  EXPECT_TRUE(contains(other_path, "/share/doc/seqfx/modules/speckle.md")) << other_path;
  EXPECT_EQ(file_bytes(other_path).rfind("# speckle (\"Speckle\")\n", 0), 0u) << other_path;

  r = seqfx({"info", "nosuch"});
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "unknown plug-in \"nosuch\"")) << r.err;
}

TEST(List, ModulesSharingADisplayNameAreToldApart) {
  const Result r = seqfx({"list"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "paintcut.so       \"Chroma Key\"              1-2     no     no     RGB chroma key"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "tonecut.so        \"Chroma Key\"              2       no     no     YUV chroma key"))
      << r.out;
}

// The module a folder's CMakeLists.txt declares: seqfx_add_plugin(<name> ...
std::string declared_module(const std::string &cmake) {
  const std::string call = "seqfx_add_plugin(";
  const std::size_t at = cmake.find(call);
  if (at == std::string::npos) return "";
  const std::size_t begin = at + call.size();
  return cmake.substr(begin, cmake.find_first_of(" \n)", begin) - begin);
}

// Every module in the source tree has a page, named after its folder, and
// the index links it under the module's name.
TEST(Docs, EveryModuleHasAPageInTheIndex) {
  const std::string root = SEQFX_SOURCE_DIR;
  const std::string index = file_bytes(root + "/docs/modules/README.md");
  DIR *d = opendir((root + "/plugins/sequence").c_str());
  ASSERT_NE(d, nullptr);
  int modules = 0;
  for (dirent *e; (e = readdir(d));) {
    const std::string name = e->d_name;
    struct stat st;
    if (name[0] == '.' || stat((root + "/plugins/sequence/" + name + "/CMakeLists.txt").c_str(), &st) != 0) continue;
    ++modules;
    const std::string module = declared_module(file_bytes(root + "/plugins/sequence/" + name + "/CMakeLists.txt"));
    ASSERT_FALSE(module.empty()) << name << " declares no module";
    EXPECT_EQ(stat((root + "/docs/modules/" + name + ".md").c_str(), &st), 0) << name << " has no page";
    EXPECT_TRUE(contains(index, "| [" + module + "](" + name + ".md) |")) << module << " is not in the index";
  }
  closedir(d);
  EXPECT_GT(modules, 40);
}

}  // namespace
