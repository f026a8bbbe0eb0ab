// warp: brightness and red/green displacement, the two edge rules, the
// single-precision source positions and missing or odd-sized images.

#include "geometry_support.h"

#include <cmath>
#include <limits>

using geometry_test::positions;
using geometry_test::where;
using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

class Warp : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("warp"); }
  void set(double wx, double wy, int color = 0, int wrap = 0, int animated = 0) {
    p->set_value("Warp X", wx);
    p->set_value("Warp Y", wy);
    p->set_value("Color", color);
    p->set_value("Wrap", wrap);
    p->set_value("Animated", animated);
  }
  // Renders positions() through the map; returns the output.
  Image run(const Image &map, float factor0 = 1) {
    Image src = positions(map.width(), map.height()), out(map.width(), map.height());
    p->render(1, factor0, 0, src, const_cast<Image *>(&map), out);
    return out;
  }
  std::unique_ptr<seqfx::Plugin> p;
};

// The source column of every output column of a one-row frame.
std::vector<int> columns(const Image &out) {
  std::vector<int> c;
  for (int x = 0; x < out.width(); ++x) c.push_back(where(out, x, 0).first);
  return c;
}

TEST_F(Warp, Table) {
  geometry_test::expect_table(*p, "Warp",
      {{"Input: 2 strips", 0x1400, 0, 0, 0, ""},
       {"Warp X", 0x1C80, 0.3f, -1, 1, "Horizontal displacement"},
       {"Warp Y", 0x1C80, 0.3f, -1, 1, "Vertical displacement"},
       {"Color", 0x0660, 0, 0, 1, "Use red/green values to control x and y displacement"},
       {"Wrap", 0x0660, 0, 0, 1, "Wrap around the edges"},
       {"Animated", 0x0660, 0, 0, 1, "Multiply displacement values by IPO value"}});
}

TEST_F(Warp, NoDisplacementCopies) {
  Image map = seqfx_test::test_picture(37, 23, 5);
  for (int color : {0, 1}) {
    set(0, 0, color);
    Image out = run(map);
    EXPECT_TRUE(seqfx_test::same_pixels(out, positions(37, 23))) << color;
  }
  set(0.7, -0.4, 0, 0, 1);  // animated at factor 0
  EXPECT_TRUE(seqfx_test::same_pixels(run(map, 0), positions(37, 23)));
  set(1, 1, 1);  // mid-grey in colour mode
  EXPECT_TRUE(seqfx_test::same_pixels(run(seqfx_test::solid(37, 23, {127, 127, 9, 9})),
                                      positions(37, 23)));
  set(1, 1, 0);  // black in brightness mode
  EXPECT_TRUE(seqfx_test::same_pixels(run(seqfx_test::solid(37, 23, {0, 0, 0, 9})),
                                      positions(37, 23)));
}

// A white map with Warp X = 0.3 on 100 columns: 0.3f * 100 is 30.0000019,
// so column 50 reads 19.999998, truncated to 19, and columns up to 31 read
// column 0; from column 64 on the single-precision difference rounds back
// to a whole number (99 - 30.0000019 is 69.0f).
TEST_F(Warp, WhiteMapMovesAlongTheDiagonal) {
  set(0.3, 0.3);
  Image out = run(seqfx_test::solid(100, 20, {255, 255, 255, 0}));
  for (int x : {0, 29, 30, 31})
    EXPECT_EQ(where(out, x, 10).first, 0) << x;
  EXPECT_EQ(where(out, 32, 10).first, 1);
  EXPECT_EQ(where(out, 50, 10).first, 19);
  EXPECT_EQ(where(out, 99, 10).first, 69);
  // 0.3f * 20 rounds to 6.0f exactly: row y reads y - 6.
  EXPECT_EQ(where(out, 50, 10).second, 4);
  EXPECT_EQ(where(out, 50, 19).second, 13);
  EXPECT_EQ(where(out, 50, 6).second, 0);
  // Negative amounts look the other way and clamp at the far edge.
  set(-0.3, 0);
  out = run(seqfx_test::solid(100, 20, {255, 255, 255, 0}));
  EXPECT_EQ(where(out, 0, 3).first, 30);
  EXPECT_EQ(where(out, 69, 3).first, 99);
  EXPECT_EQ(where(out, 70, 3).first, 99);
}

TEST_F(Warp, BrightnessIsTheMeanOfThreeChannels) {
  // (R + G + B) / 765 = 1/3 for one full channel; 0.9 x 100 x 1/3 is 30
  // in single precision.
  set(0.9, 0);
  Image out = run(seqfx_test::solid(100, 1, {255, 0, 0, 0}));
  EXPECT_EQ(where(out, 60, 0).first, 30);
  out = run(seqfx_test::solid(100, 1, {0, 0, 255, 0}));  // blue counts alike
  EXPECT_EQ(where(out, 60, 0).first, 30);
  out = run(seqfx_test::solid(100, 1, {0, 0, 0, 255}));  // alpha does not
  EXPECT_EQ(where(out, 60, 0).first, 60);
}

TEST_F(Warp, ColourMapMovesByRedAndGreenApart) {
  // (255 - 127) / 255 = 0.50196 x 100 = 50.196: column 99 reads 48.
  set(1, 1, 1);
  Image out = run(seqfx_test::solid(100, 100, {255, 127, 0, 0}));
  EXPECT_EQ(where(out, 99, 40), (std::pair<int, int>{48, 40}));
  out = run(seqfx_test::solid(100, 100, {127, 0, 255, 0}));  // green 0: -0.498 x 100
  EXPECT_EQ(where(out, 10, 40), (std::pair<int, int>{10, 89}));
}

// Source positions are single-precision: 1/255 x (2e-6 x 1001) = 7.85e-6
// taken from column 300 still gives 300 (it rounds to 300.0f), while from
// column 100 it gives 99.99999 and so column 99. In double precision both
// would move by one.
TEST_F(Warp, SourcePositionIsSinglePrecision) {
  set(2e-6, 0, 1);
  Image out = run(seqfx_test::solid(1001, 1, {128, 127, 0, 0}));
  EXPECT_EQ(where(out, 1000, 0).first, 1000);
  EXPECT_EQ(where(out, 300, 0).first, 300);
  EXPECT_EQ(where(out, 100, 0).first, 99);
  EXPECT_EQ(where(out, 0, 0).first, 0);
}

// One map column per case on a 10-wide frame with Warp X = 1 in colour
// mode: red 204 moves by 3.02, 179 by 2.04, 17 by -4.31, 97 by -1.18.
TEST_F(Warp, EdgeRules) {
  const unsigned char red[10] = {204, 179, 127, 127, 127, 127, 127, 127, 17, 97};
  Image map = seqfx_test::painted(10, 1, [&](int x, int) { return Pixel{red[x], 127, 0, 0}; });
  set(1, 0, 1, 1);
  // Column 0 reads -3 (folded to 3), column 1 reads -1 (1), column 8 reads
  // 12 (2), column 9 reads 10 (0).
  EXPECT_EQ(columns(run(map)), (std::vector<int>{3, 1, 2, 3, 4, 5, 6, 7, 2, 0}));
  set(1, 0, 1, 0);
  EXPECT_EQ(columns(run(map)), (std::vector<int>{0, 0, 2, 3, 4, 5, 6, 7, 9, 9}));
  // 13 wraps to 3, and -10 (a slot of 2.5: 103 / 255 x 25 = 10.1) to 0.
  map = seqfx_test::painted(10, 1, [](int x, int) {
    return Pixel{(unsigned char)(x == 0 ? 230 : x == 9 ? 17 : 127), 127, 0, 0};
  });
  set(1, 0, 1, 1);
  geometry_test::poke(*p, "Warp X", 2.5f);
  // Column 9 reads 9 + 10.78 = 19 -> 9.
  EXPECT_EQ(columns(run(map)), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  geometry_test::poke(*p, "Warp X", 1.0f);
  map = seqfx_test::painted(10, 1, [](int x, int) {
    return Pixel{(unsigned char)(x == 9 ? 17 : 127), 127, 0, 0};
  });
  EXPECT_EQ(columns(run(map))[9], 3);
  // Rows wrap the same way.
  Image tall = seqfx_test::painted(1, 10, [](int, int y) {
    return Pixel{127, (unsigned char)(y == 0 ? 204 : 127), 0, 0};
  });
  set(0, 1, 1, 1);
  EXPECT_EQ(where(run(tall), 0, 0).second, 3);
}

TEST_F(Warp, AnimatedScalesByTheFactor) {
  Image white = seqfx_test::solid(100, 1, {255, 255, 255, 0});
  set(0.2, 0, 0, 0, 1);
  EXPECT_EQ(where(run(white, 0.5f), 50, 0).first, 40);  // 20 x 0.5
  set(0.2, 0, 0, 0, 0);
  EXPECT_EQ(where(run(white, 0.5f), 50, 0).first, 30);  // factor unused
}

TEST_F(Warp, MissingImagesWriteNothing) {
  Image src = positions(7, 5), map = seqfx_test::solid(7, 5, {255, 255, 255, 0});
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  p->call(1, 1, 0, 7, 5, src.record(), nullptr, out.record(), nullptr);
  p->call(1, 1, 0, 7, 5, nullptr, map.record(), out.record(), nullptr);
  p->call(1, 1, 0, 7, 5, src.record(), map.record(), nullptr, nullptr);
  Image no_rect(7, 5, false);
  p->call(1, 1, 0, 7, 5, src.record(), no_rect.record(), out.record(), nullptr);
  p->call(1, 1, 0, 7, 5, no_rect.record(), map.record(), out.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, seqfx_test::solid(7, 5, {1, 2, 3, 4})));
}

TEST_F(Warp, ImagesSmallerThanTheFrame) {
  // 0.5 x 37 = 18.5 and 0.5 x 23 = 11.5, wrapped.
  set(0.5, 0.5, 0, 1);
  Image white = seqfx_test::solid(37, 23, {255, 255, 255, 0});
  Image src = positions(37, 23), full(37, 23);
  p->render(1, 1, 0, src, &white, full);
  EXPECT_EQ(where(full, 2, 1), (std::pair<int, int>{16, 10}));  // -16.5, -10.5 folded
  // A map of 3 x 2 moves only the pixels it covers.
  Image small_map = seqfx_test::solid(3, 2, {255, 255, 255, 0});
  Image out(37, 23);
  p->call(1, 1, 0, 37, 23, src.record(), small_map.record(), out.record(), nullptr);
  EXPECT_EQ(where(out, 2, 1), (std::pair<int, int>{16, 10}));
  EXPECT_EQ(where(out, 3, 1), (std::pair<int, int>{3, 1}));
  EXPECT_EQ(where(out, 2, 2), (std::pair<int, int>{2, 2}));
  EXPECT_EQ(where(out, 36, 22), (std::pair<int, int>{36, 22}));
  // A source of 7 x 5 is read by its own size.
  Image small_src = positions(7, 5);
  Image out2 = seqfx_test::solid(37, 23, {1, 1, 1, 1});
  p->call(1, 1, 0, 37, 23, small_src.record(), white.record(), out2.record(), nullptr);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) {
      auto [sx, sy] = where(out2, x, y);
      ASSERT_TRUE(sx < 7 && sy < 5 && at(out2, x, y)[3] == 200) << x << "," << y;
    }
  // An output of 7 x 5 for a 37 x 23 frame receives only its own part.
  Image out3(7, 5);
  p->call(1, 1, 0, 37, 23, src.record(), white.record(), out3.record(), nullptr);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(at(out3, x, y), at(full, x, y)) << x << "," << y;
}

TEST_F(Warp, AliasedImages) {
  for (int color : {0, 1})
    for (int wrap : {0, 1}) {
      set(0.4, -0.6, color, wrap);
      Image pic = seqfx_test::test_picture(37, 23, 3);
      Image src = seqfx_test::test_picture(37, 23, 3), out(37, 23);
      p->render(1, 1, 0, src, &pic, out);
      // The picture as its own map, and written over itself.
      Image same = seqfx_test::test_picture(37, 23, 3);
      p->call(1, 1, 0, 37, 23, same.record(), same.record(), same.record(), nullptr);
      EXPECT_TRUE(seqfx_test::same_pixels(same, out)) << color << wrap;
    }
}

TEST_F(Warp, AmountsNoSliderGives) {
  // A scale that is not a number moves nothing.
  set(0, 0);
  geometry_test::poke(*p, "Warp X", std::numeric_limits<float>::quiet_NaN());
  EXPECT_TRUE(seqfx_test::same_pixels(run(seqfx_test::solid(7, 5, {255, 255, 255, 0})),
                                      positions(7, 5)));
  // Huge amounts clamp to the edges.
  set(0, 0);
  geometry_test::poke(*p, "Warp X", 1e30f);
  EXPECT_EQ(where(run(seqfx_test::solid(7, 5, {255, 255, 255, 0})), 6, 2).first, 0);
}

TEST_F(Warp, ArbitrarySlotBytesFactorsAndSizes) { geometry_test::shake_slots(*p, 2); }

}  // namespace
