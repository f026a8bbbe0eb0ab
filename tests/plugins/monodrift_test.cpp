// monodrift: the single-precision fade towards a weighted grey, its
// animation factor and the depth plane it hands to the output.

#include "seqfx_test.h"

#include <climits>
#include <cmath>
#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kRed = 1, kGreen = 2, kBlue = 3, kAnimated = 4 };

class MonoDrift : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("monodrift"); }
  // Renders one pixel (with a depth plane on the input) at factor0.
  Pixel one(Pixel in, float factor0 = 0) {
    Image src = seqfx_test::solid(1, 1, in);
    src.add_zbuf();
    Image out(1, 1);
    p->render(1, factor0, 0, src, nullptr, out);
    return at(out, 0, 0);
  }
  void raw(int row, float v) { std::memcpy(p->slot(row), &v, 4); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(MonoDrift, Table) {
  EXPECT_EQ(p->display_name(), "monoDrift");
  ASSERT_EQ(p->row_count(), 5);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "MIXING VALUES");
  EXPECT_EQ(seqfx::row_label(p->row(kRed)), "red ");
  EXPECT_EQ(seqfx::row_label(p->row(kGreen)), "green ");
  EXPECT_EQ(seqfx::row_label(p->row(kBlue)), "blue ");
  EXPECT_EQ(seqfx::row_tip(p->row(kGreen)), "greenValue");
  EXPECT_EQ(p->row(kAnimated).code, PLUGIN_CODE_TOGGLE);
  EXPECT_EQ(seqfx::row_tip(p->row(kAnimated)), "For (Ipo) animated");
  EXPECT_EQ(p->float_slot(kRed), 0.3f);
  EXPECT_EQ(p->float_slot(kGreen), 0.59f);
  EXPECT_EQ(p->float_slot(kBlue), 0.11f);
}

TEST_F(MonoDrift, FullGreyRoundedHalfUpInSinglePrecision) {
  EXPECT_EQ(one({255, 0, 0, 77}), (Pixel{77, 77, 77, 77}));  // 76.5 rounds up
  // 0.11f x 50 is just above 5.5 in single precision (5.4999... in double).
  EXPECT_EQ(one({0, 0, 50, 3}), (Pixel{6, 6, 6, 3}));
  // Without "Animated" factor0 plays no part.
  EXPECT_EQ(one({0, 0, 50, 3}, 0.0f), (Pixel{6, 6, 6, 3}));
}

TEST_F(MonoDrift, AnimatedFollowsTheLimitedFactor) {
  p->set_value(kAnimated, 1);
  const Pixel px{200, 100, 0, 9};
  EXPECT_EQ(one(px, 0.0f), px);
  EXPECT_EQ(one(px, 0.5f), (Pixel{160, 110, 60, 9}));  // halves round up
  EXPECT_EQ(one({10, 20, 250, 1}, 0.25f), (Pixel{18, 26, 198, 1}));
  EXPECT_EQ(one(px, 1.7f), one(px, 1.0f));
  EXPECT_EQ(one(px, 1.0f), (Pixel{119, 119, 119, 9}));
  EXPECT_EQ(one(px, -2.0f), px);
  EXPECT_EQ(one(px, std::nanf("")), px);
}

TEST_F(MonoDrift, UnnormalisedWeightsSaturate) {
  p->set_value(kRed, 1);
  p->set_value(kGreen, 1);
  p->set_value(kBlue, 1);
  EXPECT_EQ(one({255, 255, 255, 255}), (Pixel{255, 255, 255, 255}));
  EXPECT_EQ(one({100, 100, 100, 0}), (Pixel{255, 255, 255, 0}));
  EXPECT_EQ(one({0, 0, 0, 0}), (Pixel{0, 0, 0, 0}));
  // Weights a host left outside the sliders still give defined bytes.
  raw(kRed, -3.0f);
  raw(kGreen, std::nanf(""));
  raw(kBlue, 0.0f);
  EXPECT_EQ(one({100, 50, 0, 5}), (Pixel{0, 0, 0, 5}));
  raw(kRed, INFINITY);
  EXPECT_EQ(one({100, 50, 0, 5}), (Pixel{255, 255, 255, 5}));
  EXPECT_EQ(one({0, 50, 0, 5}), (Pixel{0, 0, 0, 5}));  // inf x 0 is not a number: 0
}

TEST_F(MonoDrift, WholeFramesMatchSinglePixels) {
  // A frame is worked in groups of pixels; each must come out as the same
  // pixel does alone, also for weights a host left outside the sliders.
  Image src = seqfx_test::test_picture(37, 23, 5);
  src.add_zbuf();
  src.pixel(3, 0)[0] = 0;
  src.pixel(3, 0)[1] = 0;
  src.pixel(3, 0)[2] = 50;
  auto configure = [&](int i) {
    p->reset_defaults();
    if (i == 1) p->set_value(kAnimated, 1);
    if (i == 2) {
      p->set_value(kRed, 1);
      p->set_value(kGreen, 1);
    }
    if (i == 3) {
      raw(kRed, -3.0f);
      raw(kGreen, std::nanf(""));
      raw(kBlue, INFINITY);
    }
  };
  for (int i = 0; i < 4; ++i) {
    configure(i);
    Image out(37, 23);
    p->render(1, 0.37f, 0, src, nullptr, out);
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) {
        Image one_px = seqfx_test::solid(1, 1, at(src, x, y));
        one_px.add_zbuf();
        Image o(1, 1);
        p->render(1, 0.37f, 0, one_px, nullptr, o);
        ASSERT_EQ(at(out, x, y), at(o, 0, 0)) << "setting " << i << " at " << x << "," << y;
      }
  }
  configure(0);
  Image out(37, 23);
  p->render(1, 0, 0, src, nullptr, out);
  EXPECT_EQ(at(out, 3, 0)[0], 6);
}

TEST_F(MonoDrift, OneWideAndOneHighFramesMatchSinglePixels) {
  // Lengths on either side of the groups of four and eight pixels.
  p->set_value(kAnimated, 1);
  for (auto [w, h] : {std::pair{1, 19}, {19, 1}, {9, 3}, {1, 7}}) {
    Image src = seqfx_test::test_picture(w, h, (unsigned)(w + 3 * h));
    src.add_zbuf();
    Image out(w, h);
    p->render(1, 0.61f, 0, src, nullptr, out);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        Image one_px = seqfx_test::solid(1, 1, at(src, x, y));
        one_px.add_zbuf();
        Image o(1, 1);
        p->render(1, 0.61f, 0, one_px, nullptr, o);
        ASSERT_EQ(at(out, x, y), at(o, 0, 0)) << w << "x" << h << " at " << x << "," << y;
      }
  }
}

TEST_F(MonoDrift, WithoutDepthPrintsAndLeavesOutputAlone) {
  Image src = seqfx_test::solid(7, 5, {255, 0, 0, 255});
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  seqfx_test::Console console;
  p->render(1, 0, 0, src, nullptr, out);
  console.finish();
  EXPECT_EQ(console.out(), "no zbuf\n");
  EXPECT_EQ(at(out, 6, 4), (Pixel{1, 2, 3, 4}));
  EXPECT_EQ(out.zbuf(), nullptr);
}

TEST_F(MonoDrift, HandsACopyOfTheDepthPlaneToTheOutput) {
  Image src = seqfx_test::test_picture(7, 5);
  int *z = src.add_zbuf();
  for (int i = 0; i < 35; ++i) z[i] = i * 1000 - 17000;
  z[0] = INT_MIN;
  z[34] = INT_MAX;
  Image out(7, 5);
  p->render(1, 0, 0, src, nullptr, out);
  ASSERT_NE(out.zbuf(), nullptr);
  EXPECT_NE(out.zbuf(), src.zbuf());
  EXPECT_EQ(std::memcmp(out.zbuf(), z, 35 * sizeof(int)), 0);

  // An output that has a depth plane keeps it and gets the values.
  Image out2(7, 5);
  int *own = out2.add_zbuf();
  p->render(1, 0, 0, src, nullptr, out2);
  EXPECT_EQ(out2.zbuf(), own);
  EXPECT_EQ(std::memcmp(own, z, 35 * sizeof(int)), 0);

  // Working in place on one image leaves its depth as it was.
  p->call(1, 0, 0, 7, 5, src.record(), nullptr, src.record(), nullptr);
  EXPECT_EQ(src.zbuf(), z);
  EXPECT_EQ(z[34], INT_MAX);
}

TEST_F(MonoDrift, PixelsAndDepthCountedFromTheInputImage) {
  Image src = seqfx_test::solid(7, 5, {255, 0, 0, 77});
  int *z = src.add_zbuf();
  for (int i = 0; i < 35; ++i) z[i] = i;
  Image out(7, 5);
  p->call(1, 0, 0, 1, 1, src.record(), nullptr, out.record(), nullptr);
  out.adopt_module_zbuf();
  EXPECT_EQ(at(out, 6, 4), (Pixel{77, 77, 77, 77}));
  ASSERT_NE(out.zbuf(), nullptr);
  EXPECT_EQ(out.zbuf()[34], 34);
}

TEST_F(MonoDrift, MissingInputAndOddSizes) {
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  seqfx_test::Console console;
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  console.finish();
  EXPECT_EQ(console.out(), "");
  EXPECT_EQ(at(out, 0, 0), (Pixel{1, 2, 3, 4}));
  EXPECT_EQ(out.zbuf(), nullptr);

  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image src = seqfx_test::test_picture(w, h);
    src.add_zbuf()[w * h - 1] = 5;
    Image o(w, h);
    p->render(1, 0, 0, src, nullptr, o);
    ASSERT_NE(o.zbuf(), nullptr);
    EXPECT_EQ(o.zbuf()[w * h - 1], 5);
    const Pixel r = at(o, w - 1, h - 1);
    EXPECT_TRUE(r[0] == r[1] && r[1] == r[2] && r[3] == at(src, w - 1, h - 1)[3]);
  }
}

}  // namespace
