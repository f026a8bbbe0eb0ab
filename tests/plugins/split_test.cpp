// split: halves, quadrants, odd sizes and the guards.

#include "transition_support.h"

using seqfx::Image;
using transition::render;
using transition::strips_shown;

namespace {

class Split : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("split"); }
  // The strip shown at (x, y) on a w x h frame with the current toggles.
  std::vector<int> shown(int w, int h) { return strips_shown(render(*p, w, h, 0.5f)); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Split, Table) {
  EXPECT_EQ(p->display_name(), "Split Screen");
  ASSERT_EQ(p->row_count(), 3);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "Input: 2 strips");
  EXPECT_EQ(seqfx::row_label(p->row(1)), "Horizontal");
  EXPECT_EQ(seqfx::row_tip(p->row(1)), "Split screen horizontally");
  EXPECT_EQ(seqfx::row_label(p->row(2)), "2*2");
  EXPECT_EQ(seqfx::row_tip(p->row(2)), "U'll see what U get!");
  EXPECT_EQ(p->row(2).code, PLUGIN_CODE_TOGGLE);
}

// Left part: columns c < X - 1 - X/2; bottom part: rows r < Y - 1 - Y/2.
TEST_F(Split, EveryLayoutOnOddAndEvenSizes) {
  struct Size { int w, h; };
  for (Size s : {Size{1, 1}, Size{7, 5}, Size{37, 23}, Size{8, 6}, Size{721, 3}}) {
    const int left = s.w - 1 - s.w / 2, bottom = s.h - 1 - s.h / 2;
    for (int mode = 0; mode < 4; ++mode) {
      p->set_value("Horizontal", mode & 1);
      p->set_value("2*2", mode >> 1);
      const auto m = shown(s.w, s.h);
      for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
          const bool l = x < left, b = y < bottom;
          int want = l ? 2 : 1;                // vertical: ibuf2 on the left
          if (mode & 1) want = b ? 1 : 2;      // horizontal: ibuf1 at the bottom
          if (mode & 2) want = l == b ? 1 : 2; // quadrants, whatever Horizontal says
          ASSERT_EQ(m[(size_t)y * s.w + x], want)
              << s.w << "x" << s.h << " mode " << mode << " at " << x << "," << y;
        }
    }
  }
}

TEST_F(Split, GuardsAndSmallImages) {
  EXPECT_EQ(transition::check_guards(*p, 0.5f), "");
  transition::check_aliasing(*p, 37, 23, 0.5f);
  // The same record as both strips is refused.
  Image a = transition::strip(1, 7, 5), out = seqfx_test::solid(7, 5, {7, 7, 7, 7});
  p->call(1, 0, 0, 7, 5, a.record(), a.record(), out.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, seqfx_test::solid(7, 5, {7, 7, 7, 7})));
  // A smaller output gets the part of ibuf1's layout it covers.
  Image b = transition::strip(2, 7, 5), small = seqfx_test::solid(4, 2, {7, 7, 7, 7});
  p->call(1, 0, 0, 7, 5, a.record(), b.record(), small.record(), nullptr);
  EXPECT_EQ(strips_shown(small), (std::vector<int>{2, 2, 2, 1, 2, 2, 2, 1}));
}

}  // namespace
