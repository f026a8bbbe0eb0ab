// iris: the circle opening and closing, the strict rim and the guards.

#include "transition_support.h"

#include <cmath>

using seqfx::Image;
using transition::render;
using transition::strips_shown;

namespace {

class Iris : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("iris"); }
  std::unique_ptr<seqfx::Plugin> p;
};

// The circle pixel by pixel: 1 inside (dist < R), else 2.
std::vector<int> circle(int W, int H, bool in, float f) {
  const int hw = (W + 1) / 2, hh = (H + 1) / 2;
  const double D = std::hypot((double)W, (double)H);
  const float n = in ? 0.0f : 1.0f;
  const float R = (float)(D * 0.5 * std::fabs((double)(n - f)));
  std::vector<int> m((size_t)W * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int dy = (H - 1 - y) - hh, dx = (W - 1 - x) - hw;
      const float dist = (float)std::hypot((double)std::abs(dx), (double)std::abs(dy));
      m[(size_t)y * W + x] = dist < R ? 1 : 2;
    }
  return m;
}

TEST_F(Iris, Table) {
  EXPECT_EQ(p->display_name(), "Iris");
  ASSERT_EQ(p->row_count(), 2);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "Input: 2 Strips");
  EXPECT_EQ(seqfx::row_label(p->row(1)), "In");
  EXPECT_EQ(seqfx::row_tip(p->row(1)), "Iris In");
  EXPECT_EQ(p->int_slot(1), 0);
}

TEST_F(Iris, EveryPixelAgainstTheDistanceRule) {
  struct Size { int w, h; };
  for (Size z : {Size{1, 1}, Size{7, 5}, Size{37, 23}, Size{64, 48}, Size{200, 3}})
    for (int in = 0; in <= 1; ++in) {
      p->set_value("In", in);
      for (float f : {0.0f, 0.1f, 0.33f, 0.5f, 0.77f, 0.99f, 1.0f})
        ASSERT_EQ(strips_shown(render(*p, z.w, z.h, f)), circle(z.w, z.h, in, f))
            << z.w << "x" << z.h << " In " << in << " factor " << f;
    }
}

TEST_F(Iris, RimPixelAtTheFullRadiusShowsTheSecondStrip) {
  // Even sizes at the end of the course: R = D/2 and the top-right corner is
  // exactly D/2 away, which is not inside.
  p->set_value("In", 1);
  const auto m = strips_shown(render(*p, 40, 30, 1.0f));
  EXPECT_EQ(m[(size_t)29 * 40 + 39], 2);
  int second = 0;
  for (int v : m) second += v == 2;
  EXPECT_EQ(second, 1);
}

TEST_F(Iris, FactorsBeyondTheRange) {
  p->set_value("In", 1);
  EXPECT_EQ(strips_shown(render(*p, 7, 5, 5.0f)), circle(7, 5, true, 1.0f));
  EXPECT_EQ(strips_shown(render(*p, 7, 5, -2.0f)), circle(7, 5, true, 0.0f));
  EXPECT_EQ(strips_shown(render(*p, 7, 5, std::nanf(""))), circle(7, 5, true, 0.0f));
  EXPECT_EQ(strips_shown(render(*p, 7, 5, INFINITY)), circle(7, 5, true, 1.0f));
}

TEST_F(Iris, Guards) {
  p->set_value("In", 1);
  EXPECT_EQ(transition::check_guards(*p, 0.5f), "");
  transition::check_aliasing(*p, 37, 23, 0.5f);
  Image a = transition::strip(1, 7, 5), out = seqfx_test::solid(7, 5, {7, 7, 7, 7});
  p->call(1, 0.5f, 0.5f, 7, 5, a.record(), a.record(), out.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, seqfx_test::solid(7, 5, {7, 7, 7, 7})));
  // Images smaller than the frame: the frame's circle on the part they hold.
  Image big_a = transition::strip(1, 37, 23), b = transition::strip(2, 37, 23);
  Image small = seqfx_test::solid(10, 6, {7, 7, 7, 7});
  p->call(1, 0.5f, 0.5f, 37, 23, big_a.record(), b.record(), small.record(), nullptr);
  const auto want = circle(37, 23, true, 0.5f);
  const auto got = strips_shown(small);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(got[(size_t)y * 10 + x], want[(size_t)y * 37 + x]);
}

}  // namespace
