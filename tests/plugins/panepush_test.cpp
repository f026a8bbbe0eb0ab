// panepush: the three bands sliding apart, their bounds and the guards.

#include "transition_support.h"

using seqfx::Image;
using transition::render;
using transition::Source;

namespace {

class Panepush : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("panepush"); }
  std::unique_ptr<seqfx::Plugin> p;
};

// Where pixel (c, r) of a W x H frame comes from after a slide of s rows.
Source expected(int W, int H, int s, int c, int r) {
  const int T = W / 3, U = W - T;
  if (T < c && c < U) return r < s ? Source{2, c, r} : Source{1, c, r - s};
  return r < H - s ? Source{1, c, r + s} : Source{2, c, r};
}

void expect_slide(const Image &out, int s) {
  const int W = out.width(), H = out.height();
  for (int r = 0; r < H; ++r)
    for (int c = 0; c < W; ++c) {
      const Source got = transition::source(out, c, r), want = expected(W, H, s, c, r);
      ASSERT_TRUE(got == want) << W << "x" << H << " s=" << s << " at " << c << "," << r
                               << ": strip " << got.strip << " (" << got.x << "," << got.y << ")";
    }
}

TEST_F(Panepush, Table) {
  EXPECT_EQ(p->display_name(), "Split & Slide 0.2");
  ASSERT_EQ(p->row_count(), 1);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "2 strips");
  EXPECT_EQ(p->row(0).code, PLUGIN_CODE_LABEL);
}

TEST_F(Panepush, SlidesAcrossTheTransitionOnEverySize) {
  struct Size { int w, h; };
  for (Size z : {Size{1, 1}, Size{2, 3}, Size{7, 5}, Size{37, 23}}) {
    for (float f : {0.0f, 0.25f, 0.5f, 0.8f, 1.0f}) {
      const Image out = render(*p, z.w, z.h, f);
      expect_slide(out, (int)(f * (float)z.h));
    }
  }
}

TEST_F(Panepush, MiddleBandOf720Columns) {
  const Image out = render(*p, 720, 2, 0.5f);  // s = 1
  // Row 0 of the middle band (241..479) shows ibuf2, the outer bands ibuf1.
  EXPECT_EQ(transition::source(out, 240, 0).strip, 1);
  EXPECT_EQ(transition::source(out, 241, 0).strip, 2);
  EXPECT_EQ(transition::source(out, 479, 0).strip, 2);
  EXPECT_EQ(transition::source(out, 480, 0).strip, 1);
}

TEST_F(Panepush, SlideDistanceInSinglePrecision) {
  // 0.7f * 10 rounds to 7.0 in single precision (6.99999988 in double).
  expect_slide(render(*p, 7, 10, 0.7f), 7);
}

TEST_F(Panepush, FactorsBeyondTheRangeAreItsEnds) {
  expect_slide(render(*p, 7, 5, -3.0f), 0);
  expect_slide(render(*p, 7, 5, 1e30f), 5);
  expect_slide(render(*p, 7, 5, std::nanf("")), 0);
  expect_slide(render(*p, 7, 5, -INFINITY), 0);
}

TEST_F(Panepush, GuardsAliasingAndSmallImages) {
  EXPECT_EQ(transition::check_guards(*p, 0.4f), "");
  for (float f : {0.0f, 0.3f, 0.6f, 1.0f}) transition::check_aliasing(*p, 37, 23, f);
  Image a = transition::strip(1, 7, 5), out = seqfx_test::solid(7, 5, {7, 7, 7, 7});
  p->call(1, 0.5f, 0, 7, 5, a.record(), a.record(), out.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, seqfx_test::solid(7, 5, {7, 7, 7, 7})));
  // A shorter ibuf1: the frame is the 7 x 3 every image covers.
  Image short_a = transition::strip(1, 7, 3), b = transition::strip(2, 7, 5);
  p->call(1, 0.5f, 0, 7, 5, short_a.record(), b.record(), out.record(), nullptr);
  for (int c = 0; c < 7; ++c) {
    for (int r = 0; r < 3; ++r)
      EXPECT_TRUE(transition::source(out, c, r) == expected(7, 3, 1, c, r)) << c << "," << r;
    EXPECT_EQ(seqfx_test::at(out, c, 4), (seqfx_test::Pixel{7, 7, 7, 7}));
  }
}

}  // namespace
