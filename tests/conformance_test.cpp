// Every built module against the interface a host relies on.

#include "seqfx_test.h"

#include "seqfx/facts.h"
#include "seqfx/modules.h"

#include <dlfcn.h>

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

// The manifest the build wrote beside a module; every module of this tree
// has one.
seqfx::ModuleFacts declared_facts(const std::string &module) {
  auto f = seqfx::read_manifest(module_path(module));
  if (!f) ADD_FAILURE() << module << " has no manifest";
  return f ? *f : seqfx::ModuleFacts{};
}

// The exported name of the symbol at an address in a loaded module.
std::string symbol_name(const void *address) {
  Dl_info info{};
  if (!address || !dladdr(address, &info) || !info.dli_sname) return "";
  return info.dli_sname;
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
  const seqfx::ModuleFacts facts = declared_facts(m);
  const bool texture = facts.entry == seqfx::EntryStyle::Texture;
  const bool reduced = facts.entry == seqfx::EntryStyle::Reduced;
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

  // varstr_count is the number of 112-byte rows the module's table holds;
  // the table is exported data.
  auto syms = dynamic_symbols(module_path(m));
  const std::string table = symbol_name(d.varstr);
  ASSERT_TRUE(syms.count(table)) << m << " does not export the table it describes";
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
  // Entry points are functions, tables and cells are data. The entries are
  // the plugin_ names and the effect entries the description points at.
  auto p = seqfx_test::load(m);
  const std::string seq_doit = symbol_name(reinterpret_cast<void *>(p->description().seq_doit));
  const std::string tex_doit = symbol_name(reinterpret_cast<void *>(p->description().tex_doit));
  EXPECT_FALSE(seq_doit.empty()) << m << " effect entry is not exported";
  for (auto &kv : syms) {
    const bool entry = kv.first.rfind("plugin_", 0) == 0 || kv.first == seq_doit ||
                       kv.first == tex_doit;
    const char t = kv.second.type;
    const bool code = t == 'T' || t == 't';
    EXPECT_EQ(code, entry) << m << " " << kv.first << " type " << t;
  }
}

// What the table's labels say about strips ("Input: 2 strips",
// "In: >= 1 strip", in a label's name or tip), unknown when none says it.
seqfx::StripCount strips_in_labels(const seqfx::Plugin &p) {
  for (int i = 0; i < p.row_count(); ++i) {
    if (seqfx::row_kind(p.row(i)) != PLUGIN_LABEL) continue;
    for (const std::string &text : {seqfx::row_label(p.row(i)), seqfx::row_tip(p.row(i))}) {
      const seqfx::StripCount sc = seqfx::strips_from_label(text);
      if (sc.known) return sc;
    }
  }
  return {};
}

// Renders one 16x12 frame with the given inputs into an out filled with a
// pattern no module makes; returns whether out changed. Modules that need
// depth get a depth plane on the first strip. What the module prints is
// kept off the test's output.
bool renders(seqfx::Plugin &p, const seqfx::ModuleFacts &facts, int strips) {
  const int w = 16, h = 12;
  seqfx::Image in1 = seqfx_test::test_picture(w, h, 1);
  seqfx::Image in2 = seqfx_test::test_picture(w, h, 2);
  seqfx::Image in3 = seqfx_test::test_picture(w, h, 3);
  if (facts.needs_depth) {
    int *z = in1.add_zbuf();
    for (std::size_t i = 0; i < in1.pixels(); ++i) z[i] = (int)(i * 1000003u);
  }
  seqfx::Image out = seqfx_test::painted(w, h, [](int x, int y) {
    return seqfx_test::Pixel{(unsigned char)(7 + x), (unsigned char)(11 + y), 13, 17};
  });
  seqfx::Image before = seqfx_test::painted(w, h, [&](int x, int y) { return seqfx_test::at(out, x, y); });
  seqfx_test::Console quiet;
  p.render(1, 0.5f, 0.5f, in1, strips >= 2 ? &in2 : nullptr, out, strips >= 3 ? &in3 : nullptr);
  quiet.finish();
  return !seqfx_test::same_pixels(out, before);
}

class EveryManifest : public ::testing::TestWithParam<std::string> {};

// The declared strips agree with what the table tells a user. A label that
// understates the strips (one strip where the module needs two) is held to
// the module's behaviour: without the strip it needs it leaves out alone.
TEST_P(EveryManifest, StripsAgreeWithTheLabels) {
  const std::string m = GetParam();
  const seqfx::ModuleFacts facts = declared_facts(m);
  ASSERT_TRUE(facts.declared);
  EXPECT_FALSE(facts.description.empty()) << m;
  EXPECT_EQ(facts.description.find('\n'), std::string::npos) << m << ": description of one line";
  auto p = seqfx_test::load(m);
  const seqfx::StripCount sc = strips_in_labels(*p);
  if (!sc.known) return;
  if (sc.at_least) {
    EXPECT_EQ(facts.strips_needed, sc.count) << m;
    EXPECT_GE(facts.strips_accepted, sc.count) << m;
  } else if (sc.count < facts.strips_needed) {
    EXPECT_FALSE(renders(*p, facts, sc.count)) << m << " renders with the " << sc.count
                                               << " strip(s) its label names, fewer than it declares";
  } else {
    EXPECT_EQ(facts.strips_accepted, sc.count) << m;
  }
}

// Every module gets a frame without its second strip (and third, unless it
// needs three): a module that declares one strip renders, and none may
// crash or touch memory it was not given (the sanitizer build checks).
TEST_P(EveryManifest, WithoutTheSecondStrip) {
  const std::string m = GetParam();
  const seqfx::ModuleFacts facts = declared_facts(m);
  auto p = seqfx_test::load(m);
  if (facts.strips_needed <= 1) {
    EXPECT_TRUE(renders(*p, facts, 1)) << m << " declares one strip but renders nothing with one";
  } else {
    renders(*p, facts, 1);
  }
  if (facts.strips_needed == 3) {
    // The third strip present, the second missing.
    const int w = 8, h = 6;
    seqfx::Image in1 = seqfx_test::test_picture(w, h, 1), in3 = seqfx_test::test_picture(w, h, 3);
    seqfx::Image out(w, h);
    seqfx_test::Console quiet;
    p->render(1, 0.5f, 0.5f, in1, nullptr, out, &in3);
  }
}

// A module's depth and float needs are declared where it reads them: one
// that declares no depth need renders the same with or without a depth
// plane on its first strip.
TEST_P(EveryManifest, DepthOnlyWhereDeclared) {
  const std::string m = GetParam();
  const seqfx::ModuleFacts facts = declared_facts(m);
  if (facts.needs_depth || facts.keeps_state) return;
  const int w = 16, h = 12;
  auto run = [&](bool depth) {
    auto p = seqfx_test::load(m, true);
    seqfx::Image in1 = seqfx_test::test_picture(w, h, 1), in2 = seqfx_test::test_picture(w, h, 2),
                 in3 = seqfx_test::test_picture(w, h, 3);
    if (depth) {
      int *z = in1.add_zbuf();
      for (std::size_t i = 0; i < in1.pixels(); ++i) z[i] = (int)(i * 7919u);
    }
    seqfx::Image out(w, h);
    seqfx_test::Console quiet;
    p->render(1, 0.5f, 0.5f, in1, facts.strips_accepted >= 2 ? &in2 : nullptr, out,
              facts.strips_accepted >= 3 ? &in3 : nullptr);
    return out;
  };
  EXPECT_TRUE(seqfx_test::same_pixels(run(false), run(true))) << m << " reads a depth plane it does not declare";
}

INSTANTIATE_TEST_SUITE_P(Modules, EveryManifest, ::testing::ValuesIn(built_modules()),
                         [](const ::testing::TestParamInfo<std::string> &i) { return i.param; });

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
