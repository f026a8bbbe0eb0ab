// dualpane: the split, the border band in every mix, zero-width bands and
// the guards.

#include "transition_support.h"

#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

const Pixel kA{255, 200, 10, 250};
const Pixel kB{0, 100, 30, 130};
const Pixel kMark{7, 7, 7, 7};

class Dualpane : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("dualpane"); }
  // Solid strips on a w x h frame; the output starts as kMark.
  Image run(int w, int h) {
    Image a = seqfx_test::solid(w, h, kA), b = seqfx_test::solid(w, h, kB);
    Image out = seqfx_test::solid(w, h, kMark);
    p->render(1, 0, 0, a, &b, out);
    return out;
  }
  void set_float(const char *label, float v) { std::memcpy(p->slot(p->find_row(label)), &v, 4); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Dualpane, TableKeepsTheTrailingBlanks) {
  EXPECT_EQ(p->display_name(), "Split Border v.b1");
  ASSERT_EQ(p->row_count(), 9);
  const char *labels[] = {"2 strips", "Offset: ", "Mix f: ", "Border: ", "MixType: ",
                          "Red: ", "Green: ", "Blue: ", "Horizontal: "};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(seqfx::row_label(p->row(i)), labels[i]);
  EXPECT_EQ(seqfx::row_tip(p->row(6)), "Green value of berder");
  EXPECT_EQ(seqfx::row_tip(p->row(2)), "A % to mix strip 1 with strip 2: (1-f)Source1 + (f)Source2");
  EXPECT_EQ(p->row(4).code, PLUGIN_CODE_SLIDER_INT);
  EXPECT_EQ(p->int_slot(4), 3);
  EXPECT_EQ(p->float_slot(5), 122.0f);
  EXPECT_EQ(p->float_slot(6), 34.0f);
  EXPECT_EQ(p->float_slot(7), 1.0f);
}

// 10 columns, Offset 0.5, Border 0.5: S = 5, B = 2.5, band columns 3, 4, 5
// with t = 0.2, 0.6 and 1 (single precision).
TEST_F(Dualpane, EveryMixTypeAcrossTheBand) {
  struct Case { int type; Pixel c3, c4, c5; };
  const Case cases[] = {
      {0, kA, kA, kA},
      // t * colour, colour = (122, 34, 1, 255): t = 0.2f gives 24.4, 6.8, 0.2, 51.
      {1, {24, 6, 0, 51}, {73, 20, 0, 153}, {122, 34, 1, 255}},
      {2, {97, 27, 0, 204}, {48, 13, 0, 101}, {0, 0, 0, 0}},
      // (1 - t) p1 + t p2: at t = 0.6f, 0.39999998 * 255 = 101.99999 gives 101.
      {3, {204, 180, 14, 226}, {101, 140, 22, 178}, kB},
      {4, {127, 150, 20, 190}, {127, 150, 20, 190}, {127, 150, 20, 190}},
  };
  for (const Case &c : cases) {
    p->set_value("MixType:", c.type);
    const Image out = run(10, 3);
    for (int y = 0; y < 3; ++y) {
      EXPECT_EQ(at(out, 2, y), kA) << "type " << c.type;
      EXPECT_EQ(at(out, 3, y), c.c3) << "type " << c.type;
      EXPECT_EQ(at(out, 4, y), c.c4) << "type " << c.type;
      EXPECT_EQ(at(out, 5, y), c.c5) << "type " << c.type;
      EXPECT_EQ(at(out, 6, y), kB) << "type " << c.type;
    }
  }
}

TEST_F(Dualpane, HorizontalSplitsRows) {
  p->set_value("Horizontal:", 1);
  p->set_value("MixType:", 3);
  const Image out = run(3, 10);
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(at(out, x, 2), kA);
    EXPECT_EQ(at(out, x, 4), (Pixel{101, 140, 22, 178}));
    EXPECT_EQ(at(out, x, 5), kB);
    EXPECT_EQ(at(out, x, 9), kB);
  }
}

TEST_F(Dualpane, MixTypesOutsideTheTableLeaveTheBand) {
  for (int type : {5, -1, 1 << 30}) {
    std::memcpy(p->slot(4), &type, 4);
    const Image out = run(10, 1);
    EXPECT_EQ(at(out, 2, 0), kA);
    for (int x = 3; x <= 5; ++x) EXPECT_EQ(at(out, x, 0), kMark) << type;
    EXPECT_EQ(at(out, 6, 0), kB);
  }
}

TEST_F(Dualpane, FullBorderCrossfadesTheWholeFirstPart) {
  p->set_value("Border:", 1);
  p->set_value("MixType:", 3);
  const Image out = run(10, 1);
  EXPECT_EQ(at(out, 0, 0), kA);  // t = 0
  EXPECT_EQ(at(out, 5, 0), kB);  // t = 1 exactly at the split
  EXPECT_EQ(at(out, 6, 0), kB);
}

TEST_F(Dualpane, FixedMixEnds) {
  p->set_value("MixType:", 4);
  p->set_value("Mix f:", 0);
  EXPECT_EQ(at(run(10, 1), 4, 0), kA);
  p->set_value("Mix f:", 1);
  EXPECT_EQ(at(run(10, 1), 4, 0), kB);
}

// A band of no width holds only the column equal to S, at t = 1.
TEST_F(Dualpane, ZeroWidthBandsAreDefined) {
  p->set_value("Border:", 0);
  const Pixel at_split[] = {kA, {122, 34, 1, 255}, {0, 0, 0, 0}, kB, {127, 150, 20, 190}};
  for (int type = 0; type <= 4; ++type) {
    p->set_value("MixType:", type);
    const Image out = run(10, 1);
    EXPECT_EQ(at(out, 4, 0), kA);
    EXPECT_EQ(at(out, 5, 0), at_split[type]) << "type " << type;
    EXPECT_EQ(at(out, 6, 0), kB);
  }
  p->set_value("Border:", 0.5);
  p->set_value("Offset:", 0);
  p->set_value("MixType:", 3);
  const Image out = run(10, 1);
  EXPECT_EQ(at(out, 0, 0), kB);
  EXPECT_EQ(at(out, 1, 0), kB);
}

TEST_F(Dualpane, SlotsBeyondTheSlidersAreLimited) {
  p->set_value("MixType:", 1);
  set_float("Offset:", std::nanf(""));  // as 0: everything shows ibuf2
  const Image nan_offset = run(10, 1);
  EXPECT_EQ(at(nan_offset, 3, 0), kB);
  set_float("Offset:", 7.0f);  // as 1: the split at the right edge
  set_float("Border:", INFINITY);  // as 1: the band fills ibuf1's part
  set_float("Red:", 1e30f);
  set_float("Green:", -1e30f);
  set_float("Blue:", std::nanf(""));
  const Image out = run(10, 1);
  EXPECT_EQ(at(out, 0, 0), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(at(out, 5, 0), (Pixel{127, 0, 0, 127}));  // t = 0.5
  p->set_value("MixType:", 4);
  set_float("Mix f:", -INFINITY);
  EXPECT_EQ(at(run(10, 1), 5, 0), kA);
}

TEST_F(Dualpane, SizesAndGuards) {
  p->set_value("MixType:", 3);
  for (int w : {1, 7, 37}) {
    const Image out = run(w, w == 1 ? 1 : 5);
    for (int x = 0; x < w; ++x) EXPECT_NE(at(out, x, 0), kMark) << w << " at " << x;
  }
  EXPECT_EQ(transition::check_guards(*p, 0), "");
  transition::check_aliasing(*p, 37, 23, 0);
  Image a = transition::strip(1, 7, 5), out = seqfx_test::solid(7, 5, kMark);
  p->call(1, 0, 0, 7, 5, a.record(), a.record(), out.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, seqfx_test::solid(7, 5, kMark)));
}

}  // namespace
