// paintcut: the RGB key box with its clamps and its replacement pixels.

#include "seqfx_test.h"

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kRed = 1, kGreen, kBlue, kTol };

class Paintcut : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("paintcut"); }
  void keycol(int r, int g, int b, int tol) {
    p->set_value(kRed, r);
    p->set_value(kGreen, g);
    p->set_value(kBlue, b);
    p->set_value(kTol, tol);
  }
  // Keys one pixel over a background of (1, 2, 3, 4).
  Pixel key(Pixel fg) {
    Image a = seqfx_test::solid(1, 1, fg), b = seqfx_test::solid(1, 1, {1, 2, 3, 4});
    Image out(1, 1);
    p->render(1, 0, 0, a, &b, out);
    return at(out, 0, 0);
  }
  bool keyed(Pixel fg) { return key(fg) == Pixel{1, 2, 3, 4}; }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Paintcut, Table) {
  EXPECT_EQ(p->display_name(), "Chroma Key");
  ASSERT_EQ(p->row_count(), 5);
  EXPECT_EQ(p->row(0).code, PLUGIN_CODE_LABEL);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "In: >= 1 strip");
  EXPECT_EQ(seqfx::row_tip(p->row(kRed)), "Red ValuE");
  EXPECT_EQ(seqfx::row_tip(p->row(kGreen)), "GreEn Value");
  EXPECT_EQ(seqfx::row_tip(p->row(kBlue)), "BLue Value");
  EXPECT_EQ(p->int_slot(kBlue), 255);
}

TEST_F(Paintcut, DefaultsReplaceOnlyPureBlueWhateverItsAlpha) {
  EXPECT_TRUE(keyed({0, 0, 255, 0}));
  EXPECT_TRUE(keyed({0, 0, 255, 200}));
  EXPECT_FALSE(keyed({0, 0, 254, 255}));
  EXPECT_FALSE(keyed({1, 0, 255, 255}));
  EXPECT_EQ(key({0, 1, 255, 77}), (Pixel{0, 1, 255, 77}));
}

TEST_F(Paintcut, BoxBoundsAreInclusive) {
  keycol(100, 100, 100, 20);
  EXPECT_TRUE(keyed({120, 80, 100, 9}));
  EXPECT_FALSE(keyed({121, 80, 100, 9}));
  EXPECT_FALSE(keyed({100, 79, 100, 9}));
  EXPECT_FALSE(keyed({100, 100, 121, 9}));
}

TEST_F(Paintcut, BoxIsClampedToTheByteRange) {
  keycol(250, 10, 128, 10);
  EXPECT_TRUE(keyed({255, 0, 128, 0}));
  EXPECT_TRUE(keyed({240, 20, 138, 0}));
  EXPECT_FALSE(keyed({239, 0, 128, 0}));
  EXPECT_FALSE(keyed({255, 21, 128, 0}));
  keycol(0, 255, 128, 255);  // the widest box keys everything
  EXPECT_TRUE(keyed({255, 0, 0, 3}));
}

TEST_F(Paintcut, WithoutASecondStripKeyedPixelsTurnTransparentBlack) {
  Image a = seqfx_test::painted(7, 5, [](int x, int) {
    return x % 2 ? Pixel{0, 0, 255, 255} : Pixel{5, 6, 7, 8};
  });
  for (bool same : {false, true}) {
    Image out = seqfx_test::solid(7, 5, {9, 9, 9, 9});
    seqfx_test::Console con;
    p->call(1, 0, 0, 7, 5, a.record(), same ? a.record() : nullptr, out.record(), nullptr);
    con.finish();
    EXPECT_EQ(con.out(), "no ibuf2!\n");
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(at(out, x, 4), (x % 2 ? Pixel{0, 0, 0, 0} : Pixel{5, 6, 7, 8})) << x << same;
  }
}

TEST_F(Paintcut, MissingImagesLeaveTheOutputAlone) {
  Image a = seqfx_test::solid(3, 3, {0, 0, 255, 255});
  Image out = seqfx_test::solid(3, 3, {9, 9, 9, 9});
  seqfx_test::Console con;
  p->call(1, 0, 0, 3, 3, nullptr, a.record(), out.record(), nullptr);
  p->call(1, 0, 0, 3, 3, a.record(), nullptr, nullptr, nullptr);
  con.finish();
  EXPECT_EQ(con.out(), "paintcut: no output image!\n");
  EXPECT_EQ(at(out, 2, 2), (Pixel{9, 9, 9, 9}));
}

TEST_F(Paintcut, PixelCountComesFromTheFirstImage) {
  // The width and height arguments are not used.
  Image a = seqfx_test::solid(7, 5, {0, 0, 255, 255}), b = seqfx_test::test_picture(7, 5);
  Image out(7, 5);
  p->call(1, 0, 0, 1, 1, a.record(), b.record(), out.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, b));
}

TEST_F(Paintcut, OddSizes) {
  keycol(128, 128, 128, 100);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image a = seqfx_test::test_picture(w, h, 2), b = seqfx_test::test_picture(w, h, 3);
    Image out(w, h);
    p->render(1, 0, 0, a, &b, out);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const Pixel s = at(a, x, y);
        const bool in = s[0] >= 28 && s[0] <= 228 && s[1] >= 28 && s[1] <= 228 && s[2] >= 28 &&
                        s[2] <= 228;
        EXPECT_EQ(at(out, x, y), in ? at(b, x, y) : s) << x << "," << y;
      }
  }
}

}  // namespace
