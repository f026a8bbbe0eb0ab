// Host library helpers behind the command line: values from text, the
// depth mapping and what a table says about its strips.

#include "seqfx_test.h"

#include "seqfx/depth.h"
#include "seqfx/modules.h"
#include "seqfx/values.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include <unistd.h>

using seqfx::DepthRange;
using seqfx::HostError;

namespace {

std::string error_of(const std::function<void()> &f) {
  try {
    f();
  } catch (const HostError &e) {
    return e.what();
  }
  return "";
}

TEST(ValueText, ColoursInBothNotations) {
  using C = std::array<unsigned char, 4>;
  EXPECT_EQ(seqfx::parse_colour("#ff8000"), (C{255, 128, 0, 255}));
  EXPECT_EQ(seqfx::parse_colour("#FF800040"), (C{255, 128, 0, 64}));
  EXPECT_EQ(seqfx::parse_colour("1,2,3"), (C{1, 2, 3, 255}));
  EXPECT_EQ(seqfx::parse_colour("1, 2, 3, 0"), (C{1, 2, 3, 0}));
  for (const char *bad : {"", "#fff", "#ff80001", "#gg0000", "1,2", "1,2,3,4,5", "256,0,0", "-1,0,0", "a,b,c", "1,,3"})
    EXPECT_NE(error_of([&] { seqfx::parse_colour(bad); }).find("is not a colour"), std::string::npos) << bad;
}

TEST(ValueText, EveryKindFromText) {
  auto p = seqfx::Plugin::load(seqfx_test::fixture_path("all_kinds"));
  seqfx::set_value_text(*p, 1, "12");
  EXPECT_EQ(p->int_slot(1), 12);
  EXPECT_NE(error_of([&] { seqfx::set_value_text(*p, 1, "12.5"); }).find("whole numbers"), std::string::npos);
  EXPECT_NE(error_of([&] { seqfx::set_value_text(*p, 1, " 12"); }).find("takes a number"), std::string::npos);
  EXPECT_NE(error_of([&] { seqfx::set_value_text(*p, 1, "nan"); }).find("takes a number"), std::string::npos);
  seqfx::set_value_text(*p, 2, "2.5e0");
  EXPECT_EQ(p->float_slot(2), 2.5f);
  seqfx::set_value_text(*p, 5, "OFF");
  EXPECT_EQ(p->int_slot(5), 0);
  seqfx::set_value_text(*p, 5, "yes");
  EXPECT_EQ(p->int_slot(5), 1);
  seqfx::set_value_text(*p, 6, "1");
  EXPECT_EQ(p->tri_state(6), 1);
  EXPECT_NE(error_of([&] { seqfx::set_value_text(*p, 6, "3"); }).find("give 0, 1 or 2"), std::string::npos);
  seqfx::set_value_text(*p, 7, "#01020304");
  EXPECT_EQ(seqfx::value_text(*p, 7), "#01020304");
  seqfx::set_value_text(*p, 9, "a=b c");
  EXPECT_EQ(p->text_slot(9), "a=b c");

  // Assignments: row numbers, names, '=' inside the value.
  EXPECT_EQ(seqfx::apply_assignment(*p, "Txt:=x=y"), 9);
  EXPECT_EQ(p->text_slot(9), "x=y");
  EXPECT_EQ(seqfx::apply_assignment(*p, "4=-7"), 4);
  EXPECT_EQ(p->int_slot(4), -7);
  EXPECT_EQ(seqfx::apply_assignment(*p, "SIZE=3"), 1);
  EXPECT_NE(error_of([&] { seqfx::apply_assignment(*p, "=3"); }).find("ROW_OR_NAME=VALUE"), std::string::npos);
  EXPECT_NE(error_of([&] { seqfx::apply_assignment(*p, "Size"); }).find("ROW_OR_NAME=VALUE"), std::string::npos);
  EXPECT_NE(error_of([&] { seqfx::apply_assignment(*p, "Gamma=1"); }).find("ambiguous"), std::string::npos);
  EXPECT_NE(error_of([&] { seqfx::apply_assignment(*p, "Size=x"); }).find("takes a number"), std::string::npos);

  // Defaults as info shows them, in the notation --set takes back.
  EXPECT_EQ(seqfx::default_text(p->row(1)), "7");
  EXPECT_EQ(seqfx::default_text(p->row(2)), "1.5");
  EXPECT_EQ(seqfx::default_text(p->row(5)), "on");
  EXPECT_EQ(seqfx::default_text(p->row(6)), "2");
  EXPECT_EQ(seqfx::kind_text(p->row(3)), "float number");
}

TEST(ValueText, ANameEndingInEqualsIsFoundWhole) {
  // afterglow's row "q=": "q" finds it too, and then the value "=0.08" is
  // no number; the whole name goes first.
  const std::string path = seqfx_test::module_path("afterglow");
  if (access(path.c_str(), R_OK) != 0) GTEST_SKIP() << "afterglow is not built";
  auto glow = seqfx::Plugin::load(path);
  const int q = seqfx::apply_assignment(*glow, "q==0.08");
  EXPECT_EQ(seqfx::row_key(glow->row(q)), "q=");
  EXPECT_EQ(glow->float_slot(q), 0.08f);
  EXPECT_EQ(seqfx::apply_assignment(*glow, "q=0.2"), q);
  EXPECT_EQ(glow->float_slot(q), 0.2f);
}

TEST(DepthMapping, LinearMonotonicAndLimited) {
  const DepthRange r{2.0, 10.0};
  EXPECT_EQ(r.to_z(2.0), INT32_MIN);
  EXPECT_EQ(r.to_z(10.0), INT32_MAX);
  EXPECT_EQ(r.to_z(-5.0), INT32_MIN);
  EXPECT_EQ(r.to_z(std::numeric_limits<double>::infinity()), INT32_MAX);
  EXPECT_EQ(r.to_z(std::nan("")), INT32_MAX);
  EXPECT_NEAR((double)r.to_z(6.0), 0.0, 1.0);
  std::int32_t last = INT32_MIN;
  for (double d = 2.0; d <= 10.0; d += 0.01) {
    const std::int32_t z = r.to_z(d);
    EXPECT_GE(z, last);
    last = z;
    EXPECT_NEAR(r.to_distance(z), d, 1e-8);
  }
  const float ds[] = {3.0f, std::numeric_limits<float>::infinity(), 1.5f, std::nanf(""), 7.0f};
  const DepthRange of = DepthRange::of(ds, 5);
  EXPECT_EQ(of.nearest, 1.5);
  EXPECT_EQ(of.farthest, 7.0);
  const float flat[] = {4.0f, 4.0f};
  EXPECT_LT(DepthRange::of(flat, 2).nearest, DepthRange::of(flat, 2).farthest);
  EXPECT_EQ(DepthRange::parse("-1.5:20").nearest, -1.5);
  for (const char *bad : {"", "1", "1:", ":2", "2:1", "1:1", "a:b", "1:2:3", "inf:2"})
    EXPECT_NE(error_of([&] { DepthRange::parse(bad); }).find("NEAR:FAR"), std::string::npos) << bad;
}

TEST(Modules, FoldersAndStrips) {
  const auto found = seqfx::find_modules({SEQFX_FIXTURE_DIR, "/nonexistent", SEQFX_PLUGIN_DIR});
  bool probe = false;
  for (const auto &m : found) {
    EXPECT_EQ(m.path.substr(m.path.size() - 3), ".so");
    probe |= m.name == "all_kinds";
  }
  EXPECT_TRUE(probe);
  EXPECT_NE(error_of([] { seqfx::locate_module({"/nonexistent"}, "glowy"); })
                .find("unknown plug-in \"glowy\": no glowy.so in /nonexistent"),
            std::string::npos);
  EXPECT_EQ(seqfx::locate_module({SEQFX_FIXTURE_DIR}, "all_kinds.so"), std::string(SEQFX_FIXTURE_DIR) + "/all_kinds.so");

  auto p = seqfx::Plugin::load(seqfx_test::fixture_path("all_kinds"));
  const seqfx::StripCount s = seqfx::strips_from_table(*p);
  EXPECT_TRUE(s.known);
  EXPECT_EQ(s.count, 1);
  EXPECT_EQ(s.text(), "1");

  const auto label = [](const char *t) { return seqfx::strips_from_label(t).text(); };
  EXPECT_EQ(label("Input: 2 strips"), "2");
  EXPECT_EQ(label("Input: 1 Strip"), "1");
  EXPECT_EQ(label("In: 3 strips"), "3");
  EXPECT_EQ(label("Input: >=1 strip"), ">=1");
  EXPECT_EQ(label("In: >= 1 strip"), ">=1");
  for (const char *none : {"Invert", "Input: strips", "Input: 4 strips", "Input: 2 frames", "Output: 1 strip", ""})
    EXPECT_EQ(label(none), "?") << none;
}

}  // namespace
