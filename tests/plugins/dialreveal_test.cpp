// dialreveal: the hand's sector against its definition, direction, rounds,
// both factors, the centre, and the missing-strip messages.

#include "transition_support.h"

#include <climits>
#include <cmath>
#include <cstring>

using seqfx::Image;
using transition::render;
using transition::strips_shown;

namespace {

struct Setting {
  int clockwise = 0;
  float x = 0, y = 0;
  int start = 0;
  float radius = 0.5f;
  int rounds = 1;
};

// The sector pixel by pixel: 1 where ibuf1 shows, else 2.
std::vector<int> sector(int W, int H, const Setting &s, float f0, float f1) {
  const float hw = (float)(W / 2), hh = (float)(H / 2);
  const int cx = (int)(hw + hw * s.x), cy = (int)(hh + hh * s.y);
  const int dir = s.clockwise ? -1 : 1;
  const int E = (int)((float)s.start + f0 * (float)(360 * s.rounds) * (float)dir);
  const int D = (int)std::sqrt((double)(W * W + H * H));
  const int r = (int)((float)D * s.radius);
  auto hx = [r](int deg) { return (int)(r * std::cos((deg * 3.141592653589793) / 180.0)); };
  auto hy = [r](int deg) { return (int)(r * std::sin((deg * 3.141592653589793) / 180.0)); };
  const float sx = (float)hx(s.start), sy = (float)hy(s.start), ex = (float)hx(E), ey = (float)hy(E);
  std::vector<int> m((size_t)W * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int dx = x - cx, dy = y - cy;
      const int d = (int)std::sqrt((double)(dx * dx + dy * dy));
      bool inside = false;
      if (!((float)d > (float)r)) {
        const float cs = sx * ey - sy * ex;
        const float cp = sx * (float)dy - sy * (float)dx;
        const float ce = ex * (float)dy - ey * (float)dx;
        inside = cs < 0 ? (cp > 0 || ce < 0) : (cp > 0 && ce < 0);
        if (s.clockwise) inside = !inside;
      }
      m[(size_t)y * W + x] = inside && f0 != 0 && f1 != 0 ? 1 : 2;
    }
  return m;
}

class Dialreveal : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("dialreveal"); }
  void use(const Setting &s) {
    p->set_value("Clockwise", s.clockwise);
    p->set_value("X", s.x);
    p->set_value("Y", s.y);
    p->set_value("Start", s.start);
    p->set_value("Radius", s.radius);
    p->set_value("Rounds", s.rounds);
  }
  std::vector<int> shown(int w, int h, float f0, float f1 = -1) {
    return strips_shown(render(*p, w, h, f0, f1));
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Dialreveal, Table) {
  EXPECT_EQ(p->display_name(), "circle");
  ASSERT_EQ(p->row_count(), 6);
  const char *labels[] = {"Clockwise", "X", "Y", "Start", "Radius", "Rounds"};
  const char *tips[] = {"Direction CW or CCW", "X translate for (0,0)", "Y translate for (0,0)",
                        "Start angle", "Radius of the circle", "Number of rounds"};
  const int codes[] = {0x0660, 0x0A80, 0x0A80, 0x0A60, 0x0A80, 0x0A60};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(seqfx::row_label(p->row(i)), labels[i]);
    EXPECT_EQ(seqfx::row_tip(p->row(i)), tips[i]);
    EXPECT_EQ(p->row(i).code, codes[i]);
  }
  EXPECT_EQ(p->float_slot(4), 0.5f);
  EXPECT_EQ(p->int_slot(5), 1);
  EXPECT_EQ(p->row(3).max, 360.0f);
}

TEST_F(Dialreveal, EveryPixelAgainstTheSectorRule) {
  const Setting settings[] = {
      {}, {1, 0, 0, 0, 0.5f, 1}, {0, -1, 1, 90, 0.3f, 1}, {1, 0.4f, -0.7f, 200, 0.2f, 3},
      {0, 1, -1, 359, 1, 10}, {1, 0, 0, 45, 0, 2}, {0, 0.25f, 0.5f, 360, 0.75f, 1},
  };
  struct Size { int w, h; };
  for (const Setting &s : settings) {
    use(s);
    for (Size z : {Size{1, 1}, Size{7, 5}, Size{37, 23}})
      for (float f : {0.0f, 0.1f, 0.25f, 0.4f, 0.5f, 0.63f, 0.9f, 1.0f})
        ASSERT_EQ(shown(z.w, z.h, f), sector(z.w, z.h, s, f, f))
            << z.w << "x" << z.h << " start " << s.start << " cw " << s.clockwise << " factor " << f;
  }
}

TEST_F(Dialreveal, QuarterTurnUncoversOneQuadrant) {
  // Centred on 41 x 41 (centre 20, 20), Radius 0.5 reaches the corners.
  const auto m = shown(41, 41, 0.25f);
  EXPECT_EQ(m[(size_t)30 * 41 + 30], 1);  // up and right
  EXPECT_EQ(m[(size_t)40 * 41 + 40], 1);  // the top-right corner
  EXPECT_EQ(m[(size_t)30 * 41 + 10], 2);  // up and left
  EXPECT_EQ(m[(size_t)10 * 41 + 30], 2);  // down and right
  p->set_value("Clockwise", 1);
  const auto c = shown(41, 41, 0.25f);
  EXPECT_EQ(c[(size_t)10 * 41 + 30], 1);  // clockwise: down and right
  EXPECT_EQ(c[(size_t)30 * 41 + 30], 2);
}

TEST_F(Dialreveal, EitherFactorZeroShowsTheSecondStrip) {
  for (int cw = 0; cw <= 1; ++cw) {
    p->set_value("Clockwise", cw);
    for (int v : shown(37, 23, 0.0f, 0.7f)) ASSERT_EQ(v, 2);
    for (int v : shown(37, 23, 0.7f, 0.0f)) ASSERT_EQ(v, 2);
  }
}

TEST_F(Dialreveal, WholeRoundsAndTheRadius) {
  p->set_value("Radius", 0.2);
  // At 1 with whole rounds the hand is back at its start: nothing inside
  // counter-clockwise, the whole circle clockwise.
  for (int v : shown(37, 23, 1.0f)) ASSERT_EQ(v, 2);
  p->set_value("Clockwise", 1);
  const auto full = shown(37, 23, 1.0f);
  const int r = (int)((float)(int)std::sqrt(37.0 * 37 + 23 * 23) * 0.2f);  // 8
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) {
      const int d = (int)std::sqrt((double)((x - 18) * (x - 18) + (y - 11) * (y - 11)));
      ASSERT_EQ(full[(size_t)y * 37 + x], d > r ? 2 : 1) << x << "," << y;
    }
  // Two rounds: empty again at 0.5, and at 0.75 the same as one round at 0.5.
  p->set_value("Clockwise", 0);
  p->set_value("Rounds", 2);
  for (int v : shown(37, 23, 0.5f)) ASSERT_EQ(v, 2);
  const auto second = shown(37, 23, 0.75f);
  p->set_value("Rounds", 1);
  EXPECT_EQ(second, shown(37, 23, 0.5f));
}

TEST_F(Dialreveal, CentreComesFromTheFirstStrip) {
  // X = -1 puts the centre on column 0: a quarter turn from 0 uncovers the
  // columns to the right of it above the centre row.
  p->set_value("X", -1);
  const auto m = shown(37, 23, 0.25f);
  EXPECT_EQ(m[(size_t)15 * 37 + 1], 1);
  EXPECT_EQ(m[(size_t)15 * 37 + 0], 2);  // on the hand's end line: not inside
}

TEST_F(Dialreveal, SlotsBeyondTheTable) {
  const int huge = INT_MAX, low = INT_MIN;
  const float nan = std::nanf(""), inf = INFINITY;
  std::memcpy(p->slot(3), &huge, 4);
  std::memcpy(p->slot(5), &huge, 4);
  std::memcpy(p->slot(1), &nan, 4);
  std::memcpy(p->slot(2), &inf, 4);
  std::memcpy(p->slot(4), &inf, 4);
  Image out = render(*p, 37, 23, 0.5f);
  std::memcpy(p->slot(3), &low, 4);
  std::memcpy(p->slot(5), &low, 4);
  std::memcpy(p->slot(4), &nan, 4);
  out = render(*p, 37, 23, inf, nan);
  // Brought back to the table: Rounds 10, X 0, Y 1, Radius 1, and a Start
  // of INT_MAX is the direction INT_MAX % 360 = 127 degrees.
  std::memcpy(p->slot(3), &huge, 4);
  std::memcpy(p->slot(5), &huge, 4);
  std::memcpy(p->slot(1), &nan, 4);
  std::memcpy(p->slot(2), &inf, 4);
  std::memcpy(p->slot(4), &inf, 4);
  EXPECT_EQ(shown(37, 23, 0.33f), sector(37, 23, {0, 0, 1, 127, 1, 10}, 0.33f, 0.33f));
}

TEST_F(Dialreveal, MissingStripsAreNamedAndLeaveTheOutput) {
  const std::string said = transition::check_guards(*p, 0.5f);
  EXPECT_NE(said.find("dialreveal: no ibuf1!\n"), std::string::npos);
  EXPECT_NE(said.find("dialreveal: no ibuf2!\n"), std::string::npos);
  EXPECT_NE(said.find("dialreveal: no output image!\n"), std::string::npos);
  transition::check_aliasing(*p, 37, 23, 0.3f);
  // The same record twice: the one picture everywhere.
  Image a = transition::strip(1, 7, 5), out(7, 5);
  p->call(1, 0.3f, 0.3f, 7, 5, a.record(), a.record(), out.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, a));
}

}  // namespace
