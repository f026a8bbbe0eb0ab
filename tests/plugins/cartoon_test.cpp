// cartoon: toning, the four neighbour pairs, the strict threshold and the
// border rules.

#include "seqfx_test.h"

#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kTriplevel = 1, kDiffspace = 2, kFlatten = 3, kBoost = 4 };
const Pixel kEdge{0, 0, 0, 0};

// The effect pixel by pixel, pair by pair, as plainly as it can be put: the
// oracle for the module's whole-frame passes.
Pixel toned(Pixel p, bool flatten, bool boost) {
  if (flatten)
    for (int c = 0; c < 3; ++c) p[c] = (unsigned char)(p[c] / 40 * 40);
  if (boost) {
    const int m = std::max({p[0], p[1], p[2]});
    if (m)
      for (int c = 0; c < 3; ++c) p[c] = (unsigned char)(p[c] * 255 / m);
  }
  return p;
}

Image reference(const Image &in, int triplevel, int d, bool flatten, bool boost) {
  const int w = in.width(), h = in.height();
  auto err = [&](int ax, int ay, int bx, int by) {
    const Pixel a = toned(at(in, ax, ay), flatten, boost), b = toned(at(in, bx, by), flatten, boost);
    int s = 0;
    for (int c = 0; c < 4; ++c) s += (a[c] - b[c]) * (a[c] - b[c]);
    return s;
  };
  return seqfx_test::painted(w, h, [&](int x, int y) {
    const bool hz = x - d >= 0 && x + d <= w - 1, vt = y - d >= 0 && y + d <= h - 1;
    int c = 0;
    if (hz) c = std::max(c, err(x - d, y, x + d, y));
    if (vt) c = std::max(c, err(x, y - d, x, y + d));
    if (hz && vt) {
      c = std::max(c, err(x - d, y - d, x + d, y + d));
      c = std::max(c, err(x + d, y - d, x - d, y + d));
    }
    return c > triplevel ? kEdge : toned(at(in, x, y), flatten, boost);
  });
}

class Cartoon : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("cartoon"); }
  Image run(const Image &in) {
    Image copy = seqfx_test::painted(in.width(), in.height(), [&](int x, int y) { return at(in, x, y); });
    Image out(in.width(), in.height());
    p->render(1, 0, 0, copy, nullptr, out);
    EXPECT_TRUE(seqfx_test::same_pixels(copy, in)) << "the input was changed";
    return out;
  }
  Pixel uniform(Pixel px) { return at(run(seqfx_test::solid(5, 5, px)), 2, 2); }
  void tones(int flatten, int boost) {
    p->set_value(kFlatten, flatten);
    p->set_value(kBoost, boost);
  }
  void raw_distance(int d) { std::memcpy(p->slot(kDiffspace), &d, 4); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Cartoon, Table) {
  EXPECT_EQ(p->display_name(), "cartoon");
  ASSERT_EQ(p->row_count(), 5);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "In: 1 strip");
  EXPECT_EQ(p->row(kTriplevel).code, PLUGIN_CODE_NUMBER_INT);
  EXPECT_EQ(seqfx::row_tip(p->row(kTriplevel)), "Threshold for Blackness");
  EXPECT_EQ(seqfx::row_tip(p->row(kDiffspace)), "Pixel distance away to check");
  EXPECT_EQ(p->row(kDiffspace).max, 255.0f);
  EXPECT_EQ(seqfx::row_label(p->row(kBoost)), "Boost");
  EXPECT_EQ(p->int_slot(kTriplevel), 150);
  EXPECT_EQ(p->int_slot(kDiffspace), 1);
  EXPECT_EQ(p->int_slot(kFlatten), 1);
  EXPECT_EQ(p->int_slot(kBoost), 1);
}

TEST_F(Cartoon, UniformFramesAreOnlyToned) {
  tones(1, 0);
  EXPECT_EQ(uniform({39, 40, 239, 7}), (Pixel{0, 40, 200, 7}));
  EXPECT_EQ(uniform({255, 80, 121, 200}), (Pixel{240, 80, 120, 200}));
  tones(0, 1);
  EXPECT_EQ(uniform({100, 50, 0, 255}), (Pixel{255, 127, 0, 255}));
  EXPECT_EQ(uniform({0, 0, 0, 7}), (Pixel{0, 0, 0, 7}));
  EXPECT_EQ(uniform({1, 0, 1, 9}), (Pixel{255, 0, 255, 9}));
  tones(1, 1);
  EXPECT_EQ(uniform({100, 50, 0, 255}), (Pixel{255, 127, 0, 255}));  // via (80, 40, 0)
  EXPECT_EQ(uniform({39, 20, 10, 1}), (Pixel{0, 0, 0, 1}));  // flattens to black, stays black
  tones(0, 0);
  EXPECT_EQ(uniform({39, 20, 10, 1}), (Pixel{39, 20, 10, 1}));
}

TEST_F(Cartoon, ThresholdIsStrictAndCountsAlpha) {
  // Three pixels in a row: the middle one has only the horizontal pair.
  auto middle = [&](Pixel left, Pixel right) {
    Image in = seqfx_test::painted(3, 1, [&](int x, int) { return x == 0 ? left : (x == 2 ? right : Pixel{9, 9, 9, 9}); });
    return at(run(in), 1, 0);
  };
  // With the defaults, alpha 13 apart: 169 > 150.
  EXPECT_EQ(middle({40, 80, 120, 100}, {40, 80, 120, 113}), kEdge);
  EXPECT_EQ(middle({40, 80, 120, 100}, {40, 80, 120, 112}), (Pixel{0, 0, 0, 9}));  // 144
  tones(0, 0);
  p->set_value(kTriplevel, 169);
  EXPECT_EQ(middle({0, 0, 0, 0}, {12, 5, 0, 0}), (Pixel{9, 9, 9, 9}));  // 144 + 25
  p->set_value(kTriplevel, 168);
  EXPECT_EQ(middle({0, 0, 0, 0}, {12, 5, 0, 0}), kEdge);
  // Flattened first: 39 and 0 are one level, 40 the next.
  tones(1, 0);
  p->set_value(kTriplevel, 255);
  EXPECT_EQ(middle({0, 0, 0, 0}, {39, 39, 39, 0}), (Pixel{0, 0, 0, 9}));
  EXPECT_EQ(middle({0, 0, 0, 0}, {40, 0, 0, 0}), kEdge);
  // Boosted first: two shades of one hue are alike.
  tones(0, 1);
  EXPECT_EQ(middle({100, 50, 0, 0}, {200, 100, 0, 0}), (Pixel{255, 255, 255, 9}));
}

TEST_F(Cartoon, PairsOnlyWhereBothNeighboursFit) {
  tones(0, 0);
  p->set_value(kDiffspace, 3);
  const Pixel black{0, 0, 0, 255}, white{255, 255, 255, 255};
  // White from column 15 on in a 20 x 20 frame.
  Image right = seqfx_test::painted(20, 20, [&](int x, int) { return x >= 15 ? white : black; });
  Image out = run(right);
  EXPECT_EQ(at(out, 17, 10), white);  // columns 14 and 20: no horizontal pair
  EXPECT_EQ(at(out, 16, 10), kEdge);  // columns 13 and 19
  EXPECT_EQ(at(out, 12, 1), kEdge);   // horizontal pair only
  EXPECT_EQ(at(out, 1, 1), black);
  // White from row 15 on.
  Image top = seqfx_test::painted(20, 20, [&](int, int y) { return y >= 15 ? white : black; });
  out = run(top);
  EXPECT_EQ(at(out, 10, 17), white);  // rows 14 and 20: no vertical pair
  EXPECT_EQ(at(out, 10, 16), kEdge);
  EXPECT_EQ(at(out, 1, 12), kEdge);
  // One white pixel is seen only along a diagonal.
  for (auto [wx, wy] : {std::pair{13, 13}, {7, 13}, {13, 7}, {7, 7}}) {
    Image dot = seqfx_test::painted(20, 20, [&](int x, int y) { return x == wx && y == wy ? white : black; });
    out = run(dot);
    EXPECT_EQ(at(out, 10, 10), kEdge) << wx << "," << wy;
    EXPECT_EQ(at(out, 11, 10), black) << wx << "," << wy;
  }
}

TEST_F(Cartoon, MatchesThePairByPairEffect) {
  struct Setting { int triplevel, d, flatten, boost; };
  const Setting settings[] = {{150, 1, 1, 1}, {150, 1, 0, 0}, {1, 2, 1, 0}, {255, 5, 0, 1},
                              {40, 11, 1, 1}, {150, 255, 1, 1}, {1, 1, 0, 0}};
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}, {64, 9}})
    for (const Setting &s : settings) {
      p->set_value(kTriplevel, s.triplevel);
      p->set_value(kDiffspace, s.d);
      tones(s.flatten, s.boost);
      // Soft gradients with hard edges, with noisy alpha and opaque.
      for (bool opaque : {false, true}) {
        Image in = seqfx_test::test_picture(w, h, (unsigned)(w + s.d));
        if (opaque)
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) in.pixel(x, y)[3] = 255;
        Image got = run(in);
        Image want = reference(in, s.triplevel, s.d, s.flatten, s.boost);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            ASSERT_EQ(at(got, x, y), at(want, x, y)) << w << "x" << h << " d " << s.d << " level "
                                                     << s.triplevel << " at " << x << "," << y;
      }
    }
}

TEST_F(Cartoon, DistancesOutsideTheTableAreLimited) {
  Image in = seqfx_test::test_picture(37, 23, 3);
  p->set_value(kDiffspace, 1);
  Image one = run(in);
  p->set_value(kDiffspace, 255);
  Image far = run(in);
  raw_distance(0);
  EXPECT_TRUE(seqfx_test::same_pixels(run(in), one));
  raw_distance(-7);
  EXPECT_TRUE(seqfx_test::same_pixels(run(in), one));
  raw_distance(2147483647);
  EXPECT_TRUE(seqfx_test::same_pixels(run(in), far));
  EXPECT_TRUE(seqfx_test::same_pixels(far, reference(in, 150, 255, true, true)));
}

TEST_F(Cartoon, InPlaceAndFramesLargerThanTheImages) {
  Image in = seqfx_test::test_picture(37, 23, 4);
  Image want = run(in);
  p->call(1, 0, 0, 37, 23, in.record(), nullptr, in.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(in, want));

  // A frame size the images cannot hold: nothing is read or written.
  Image small = seqfx_test::test_picture(7, 5);
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  p->call(1, 0, 0, 8, 5, small.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 0, small.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, small.record(), nullptr, nullptr, nullptr);
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  EXPECT_EQ(at(out, 6, 4), (Pixel{1, 2, 3, 4}));
}

}  // namespace
