// edgevisor: colour multipliers, dark and bright bands, and what the
// products become at their limits.

#include "seqfx_test.h"

#include <cmath>
#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

class Edgevisor : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("edgevisor"); }
  void raw(const char *row, float v) { std::memcpy(p->slot(p->find_row(row)), &v, 4); }
  // A frame of one column, h rows high, every pixel `in`.
  Image column(Pixel in, int h) {
    Image src = seqfx_test::solid(1, h, in), out(1, h);
    p->render(1, 0, 0, src, nullptr, out);
    return out;
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Edgevisor, DefaultsGiveTwoRowBandsFromTheLastRow) {
  EXPECT_EQ(p->display_name(), "Edgevisor");
  EXPECT_EQ(seqfx::row_label(p->row(1)), "Thickness");
  EXPECT_EQ(p->row(1).min, 2.0f);
  EXPECT_EQ(p->float_slot(1), 0.0f);
  EXPECT_EQ(p->float_slot(3), 0.9f);
  // 7 rows: k = 6 - y; k mod 4 in {2, 3} is dark. Dark multipliers are
  // 0.571.. (red, on byte 0), 0.571.. ("Blue", on byte 1) and, rounded to
  // single, exactly 1 ("Green", on byte 2: 0.99999995 in double would give
  // 99). Bright ones 1.143.., 1.143.. and 1.571...
  Image out = column({100, 100, 100, 42}, 7);
  const Pixel dark{57, 57, 100, 42}, bright{114, 114, 157, 42};
  const Pixel want[7] = {dark, bright, bright, dark, dark, bright, bright};
  for (int y = 0; y < 7; ++y) EXPECT_EQ(at(out, 0, y), want[y]) << y;
  // A bright product above 255 is 255.
  EXPECT_EQ(at(column({200, 10, 200, 0}, 1), 0, 0), (Pixel{228, 11, 255, 0}));
}

TEST_F(Edgevisor, ThicknessBands) {
  p->set_value("Thickness", 4);
  Image out = column({100, 100, 100, 255}, 9);
  for (int y = 0; y < 9; ++y) EXPECT_EQ(at(out, 0, y)[0], (8 - y) % 4 < 2 ? 57 : 114) << y;
  // Thickness 3: the fraction of k / 3 below one half is dark: k = 0, 1
  // (0.33) dark, 2 (0.67) bright, 3 dark.
  p->set_value("Thickness", 3);
  out = column({100, 100, 100, 255}, 4);
  const int want[4] = {57, 114, 57, 57};  // y = 0 is k = 3
  for (int y = 0; y < 4; ++y) EXPECT_EQ(at(out, 0, y)[0], want[y]) << y;
}

TEST_F(Edgevisor, NegativeAndZeroFactorsAndSlotsBeyondTheTable) {
  p->set_value("Red", 0.1);  // the dark red multiplier is negative: black
  Image out = column({200, 200, 200, 9}, 3);  // k = 2 dark, k = 0 bright
  EXPECT_EQ(at(out, 0, 0)[0], 0);
  EXPECT_GT(at(out, 0, 2)[0], 0);
  for (const char *f : {"Red", "Green", "Blue"}) p->set_value(f, 0);
  out = column({200, 200, 200, 9}, 3);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(at(out, 0, y), (Pixel{0, 0, 0, 9}));
  // Factors are limited to 0..2 (not a number is 0); a thickness that is
  // not a number gives the two-row bands.
  p->set_value("Green", 2);
  Image ref = column({100, 150, 200, 1}, 6);
  raw("Thickness", std::nanf(""));
  raw("Red", std::nanf(""));
  raw("Green", INFINITY);
  raw("Blue", -5);
  EXPECT_TRUE(seqfx_test::same_pixels(column({100, 150, 200, 1}, 6), ref));
  for (float t : {1e-30f, INFINITY, -INFINITY, 3e38f}) {
    raw("Thickness", t);
    column({1, 2, 3, 4}, 5);
  }
}

TEST_F(Edgevisor, MissingInputsInPlaceAndSizes) {
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4}), none(7, 5, false);
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, none.record(), nullptr, out.record(), nullptr);
  EXPECT_EQ(at(out, 0, 0), (Pixel{1, 2, 3, 4}));
  // A frame larger than both images touches only their pixels.
  Image src = seqfx_test::solid(7, 5, {100, 100, 100, 8});
  p->call(1, 0, 0, 4000, 4000, src.record(), nullptr, out.record(), nullptr);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image s = seqfx_test::solid(w, h, {100, 100, 100, 8});
    p->call(1, 0, 0, w, h, s.record(), nullptr, s.record(), nullptr);
    EXPECT_EQ(at(s, 0, h - 1), (Pixel{114, 114, 157, 8})) << w;
  }
}

}  // namespace
