// Every built module against the interface a host relies on.

#include "seqfx_test.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

using seqfx_test::built_modules;
using seqfx_test::module_path;

namespace {

struct Symbol {
  char type;
  unsigned long long size;
};

// The module's defined dynamic symbols, read with nm.
std::map<std::string, Symbol> dynamic_symbols(const std::string &path) {
  std::map<std::string, Symbol> syms;
  std::string cmd = "nm -D -S --defined-only '" + path + "' 2>/dev/null";
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return syms;
  char line[1024];
  while (std::fgets(line, sizeof line, p)) {
    std::istringstream ss(line);
    std::vector<std::string> f;
    for (std::string w; ss >> w;) f.push_back(w);
    if (f.size() == 4) syms[f[3]] = {f[2][0], std::stoull(f[1], nullptr, 16)};
    else if (f.size() == 3) syms[f[2]] = {f[1][0], 0};
  }
  pclose(p);
  return syms;
}

std::set<std::string> expected_exports(const std::string &module) {
  std::set<std::string> s;
  std::ifstream in(std::string(SEQFX_EXPORTS_DIR) + "/" + module);
  for (std::string l; std::getline(in, l);)
    if (!l.empty()) s.insert(l);
  return s;
}

class EveryModule : public ::testing::TestWithParam<std::string> {};

TEST_P(EveryModule, LoadsAndDescribesItself) {
  const std::string m = GetParam();
  std::unique_ptr<seqfx::Plugin> p;
  ASSERT_NO_THROW(p = seqfx_test::load(m)) << m;
  auto version = reinterpret_cast<PluginGetVersionFn>(p->symbol("plugin_seq_getversion"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version(), 3);
  EXPECT_FALSE(p->display_name().empty());
  EXPECT_NE(p->description().seq_doit, nullptr);
  EXPECT_NE(p->description().cfra, nullptr);
}

TEST_P(EveryModule, GetinfoLeavesFieldsItDoesNotProvide) {
  const std::string m = GetParam();
  auto p = seqfx_test::load(m);
  auto getinfo = reinterpret_cast<PluginGetInfoFn>(p->symbol("plugin_getinfo"));
  ASSERT_NE(getinfo, nullptr);

  PluginDescription d;
  std::memset(&d, 0, sizeof d);
  getinfo(&d);
  const bool texture = m == "afterglow";
  const bool reduced = m == "alphascale";
  EXPECT_NE(d.name, nullptr);
  EXPECT_NE(d.varstr, nullptr);
  EXPECT_GT(d.varstr_count, 0);
  EXPECT_NE(d.cfra, nullptr);
  EXPECT_NE(d.seq_doit, nullptr);
  EXPECT_EQ(d.init == nullptr, reduced);
  EXPECT_EQ(d.but_changed == nullptr, reduced);
  EXPECT_EQ(d.stnames == nullptr, !texture);
  EXPECT_EQ(d.stype_count == 0, !texture);
  EXPECT_EQ(d.result == nullptr, !texture);
  EXPECT_EQ(d.tex_doit == nullptr, !texture);

  if (!texture && !reduced) {
    // A standard module writes its seven fields only: marks in the other
    // four survive.
    PluginDescription marked;
    std::memset(&marked, 0, sizeof marked);
    static char mark_names[16] = "mark";
    static float mark_result[8];
    marked.stnames = mark_names;
    marked.stype_count = 77;
    marked.result = mark_result;
    getinfo(&marked);
    EXPECT_EQ(marked.stnames, mark_names);
    EXPECT_EQ(marked.stype_count, 77);
    EXPECT_EQ(marked.result, mark_result);
    EXPECT_EQ(marked.tex_doit, nullptr);
  }
}

TEST_P(EveryModule, TableRowsAreWellFormed) {
  const std::string m = GetParam();
  auto p = seqfx_test::load(m);
  const PluginDescription &d = p->description();

  // varstr_count is the number of 112-byte rows the module's table holds.
  auto syms = dynamic_symbols(module_path(m));
  const char *table = m == "afterglow" ? "seq_varstr" : "varstr";
  ASSERT_TRUE(syms.count(table)) << m << " exports no " << table;
  EXPECT_EQ(syms[table].size, (unsigned long long)d.varstr_count * sizeof(ParamDescriptor)) << m;

  for (int i = 0; i < d.varstr_count; ++i) {
    const ParamDescriptor &r = d.varstr[i];
    EXPECT_TRUE(seqfx::is_known_code(r.code)) << m << " row " << i << " code " << std::hex << r.code;
    // A text row keeps its characters after its slot: it must be the last.
    if (seqfx::row_kind(r) == PLUGIN_TEXT) {
      EXPECT_EQ(i, d.varstr_count - 1) << m;
    }
    EXPECT_EQ(r.tip[PLUGIN_TIP_LEN - 1], '\0') << m << " row " << i << " tip is not terminated";
  }
}

TEST_P(EveryModule, ExportsExactlyItsInterface) {
  const std::string m = GetParam();
  auto syms = dynamic_symbols(module_path(m));
  std::set<std::string> got;
  for (auto &kv : syms) got.insert(kv.first);
  EXPECT_EQ(got, expected_exports(m)) << m;
  // Entry points are functions, tables and cells are data.
  for (auto &kv : syms) {
    const bool entry = kv.first.rfind("plugin_", 0) == 0 || kv.first == "afterglow" ||
                       kv.first == "save_pixel_pos";
    const char t = kv.second.type;
    const bool code = t == 'T' || t == 't';
    EXPECT_EQ(code, entry) << m << " " << kv.first << " type " << t;
  }
}

INSTANTIATE_TEST_SUITE_P(Modules, EveryModule, ::testing::ValuesIn(built_modules()),
                         [](const ::testing::TestParamInfo<std::string> &i) { return i.param; });

TEST(Conformance, EveryModuleFolderIsBuilt) {
  // Every module in the build's module folder is one this build made.
  auto mods = built_modules();
  EXPECT_FALSE(mods.empty());
  for (const std::string &m : mods) {
    std::ifstream f(module_path(m));
    EXPECT_TRUE(f.good()) << m << " was not built";
  }
}

}  // namespace
