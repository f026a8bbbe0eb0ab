// pixelize: cell averages with truncating division, cells cut at the
// edges, the animated cell size, slot values beyond the sliders, aliased
// and odd-sized images.

#include "geometry_support.h"

#include <cmath>
#include <limits>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

class Pixelize : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("pixelize"); }
  void cells(int w, int h) {
    geometry_test::poke(*p, "Width:", w);
    geometry_test::poke(*p, "Height:", h);
  }
  Image run(const Image &src, float factor0 = 0) {
    Image out(src.width(), src.height());
    p->render(1, factor0, 0, const_cast<Image &>(src), nullptr, out);
    return out;
  }
  std::unique_ptr<seqfx::Plugin> p;
};

// The mosaic computed cell by cell: every channel summed over the cell cut
// to the picture and divided by its pixel count, truncated.
Image mosaic(const Image &src, int cw, int ch) {
  const int w = src.width(), h = src.height();
  Image e(w, h);
  for (int y0 = 0; y0 < h; y0 += ch)
    for (int x0 = 0; x0 < w; x0 += cw) {
      const int x1 = std::min(w, x0 + cw), y1 = std::min(h, y0 + ch);
      long sum[4] = {0, 0, 0, 0};
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
          for (int c = 0; c < 4; ++c) sum[c] += src.pixel(x, y)[c];
      const long n = (long)(x1 - x0) * (y1 - y0);
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
          for (int c = 0; c < 4; ++c) e.pixel(x, y)[c] = (unsigned char)(sum[c] / n);
    }
  return e;
}

TEST_F(Pixelize, Table) {
  geometry_test::expect_table(*p, "Pixelize",
      {{"Input: 1 strip", 0x1400, 0, 0, 0, ""},
       {"Width: ", 0x1C60, 2, 1, 32, "Pixel width"},
       {"Height: ", 0x1C60, 2, 1, 32, "Pixel height"},
       {"Animated", 0x0660, 0, 0, 1, "Use IPO to control pixel size"}});
}

TEST_F(Pixelize, AveragesTruncateAndIncludeAlpha) {
  // One channel 10, 11, 12, 13 over a 2 x 2 cell: 46 / 4 = 11.
  Image src = seqfx_test::painted(2, 2, [](int x, int y) {
    const unsigned char v = (unsigned char)(10 + x + 2 * y);
    return Pixel{v, 255, (unsigned char)(y ? 0 : 3), (unsigned char)(x ? 0 : 255)};
  });
  Image out = run(src);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(at(out, x, y), (Pixel{11, 255, 1, 127}));
}

TEST_F(Pixelize, EdgeCellsAreCutAndAveragedOverWhatIsLeft) {
  // 5 wide with 2-wide cells: cells at 0, 2 and 4; the last keeps its own
  // colour.
  Image row = seqfx_test::painted(5, 1, [](int x, int) {
    return Pixel{(unsigned char)(x * 50), 0, 0, 255};
  });
  cells(2, 1);
  Image out = run(row);
  EXPECT_EQ(at(out, 1, 0)[0], 25);
  EXPECT_EQ(at(out, 3, 0)[0], 125);
  EXPECT_EQ(at(out, 4, 0)[0], 200);
  // Every cell size the sliders allow, on pictures with and without cut
  // cells.
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}, {100, 70}}) {
    Image src = seqfx_test::test_picture(w, h, 11);
    for (int cw = 1; cw <= 32; ++cw)
      for (int ch : {1, 2, 3, 7, 16, 32}) {
        cells(cw, ch);
        ASSERT_TRUE(seqfx_test::same_pixels(run(src), mosaic(src, cw, ch)))
            << w << "x" << h << " cells " << cw << "x" << ch;
      }
  }
  // One-pixel cells copy the picture.
  cells(1, 1);
  Image src = seqfx_test::test_picture(37, 23, 2);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src), src));
}

TEST_F(Pixelize, AnimatedCellsFollowTheFactor) {
  geometry_test::poke(*p, "Animated", 1);
  cells(3, 5);  // not used
  Image src = seqfx_test::test_picture(70, 40, 4);
  const std::pair<float, int> cases[] = {
      {0.5f, 16}, {0.0f, 1}, {1.0f, 32}, {3.0f, 32},  // above 1 is 1
      {0.046875f, 2},                                 // 1.5 rounds up
      {0.04f, 1},                                     // 1.28 rounds down
      {0.515625f, 17},                                // 16.5 rounds up
      {-0.5f, 1},  {std::numeric_limits<float>::quiet_NaN(), 1}, {-INFINITY, 1}, {INFINITY, 32}};
  for (auto [f, side] : cases)
    ASSERT_TRUE(seqfx_test::same_pixels(run(src, f), mosaic(src, side, side))) << f;
  // Without Animated the factor is not used.
  geometry_test::poke(*p, "Animated", 0);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 0.5f), mosaic(src, 3, 5)));
}

TEST_F(Pixelize, SlotValuesBeyondTheSliders) {
  Image src = seqfx_test::test_picture(37, 23, 6);
  cells(0, -7);  // below 1: one-pixel cells
  EXPECT_TRUE(seqfx_test::same_pixels(run(src), src));
  cells(2000000000, 2000000000);  // one cell: the whole picture
  EXPECT_TRUE(seqfx_test::same_pixels(run(src), mosaic(src, 37, 23)));
  cells(100, 50);  // 5000 pixels a cell, past the fast division
  Image big = seqfx_test::test_picture(230, 120, 8);
  EXPECT_TRUE(seqfx_test::same_pixels(run(big), mosaic(big, 100, 50)));
  Image white = seqfx_test::solid(230, 120, {255, 255, 255, 255});
  EXPECT_TRUE(seqfx_test::same_pixels(run(white), white));
  cells(32, 32);
  Image white2 = seqfx_test::solid(64, 64, {255, 254, 1, 255});
  EXPECT_TRUE(seqfx_test::same_pixels(run(white2), white2));
}

TEST_F(Pixelize, InPlace) {
  cells(3, 4);
  Image src = seqfx_test::test_picture(37, 23, 9);
  Image same = seqfx_test::test_picture(37, 23, 9);
  p->call(1, 0, 0, 37, 23, same.record(), nullptr, same.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(same, mosaic(src, 3, 4)));
}

// Cells lie over the frame cut to the output; averages cover the part of a
// cell the input holds, and a cell it does not reach is transparent black.
TEST_F(Pixelize, ImagesOfAnotherSize) {
  cells(4, 4);
  Image src = seqfx_test::test_picture(37, 23, 3);
  Image small(7, 5);
  p->call(1, 0, 0, 37, 23, src.record(), nullptr, small.record(), nullptr);
  Image cut = seqfx_test::painted(7, 5, [&](int x, int y) { return at(src, x, y); });
  EXPECT_TRUE(seqfx_test::same_pixels(small, mosaic(cut, 4, 4)));

  Image tiny = seqfx_test::test_picture(6, 5, 3);
  Image out = seqfx_test::solid(37, 23, {1, 2, 3, 4});
  p->call(1, 0, 0, 37, 23, tiny.record(), nullptr, out.record(), nullptr);
  const Image m = mosaic(tiny, 4, 4);
  EXPECT_EQ(at(out, 0, 0), at(m, 0, 0));
  EXPECT_EQ(at(out, 7, 3), at(m, 4, 3));  // the cell 4..7 holds columns 4, 5
  EXPECT_EQ(at(out, 5, 7), at(m, 5, 4));  // rows 4..7 hold row 4
  EXPECT_EQ(at(out, 8, 0), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(at(out, 0, 8), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(at(out, 36, 22), (Pixel{0, 0, 0, 0}));

  Image keep = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  Image none(7, 5, false);
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, keep.record(), nullptr);
  p->call(1, 0, 0, 7, 5, none.record(), nullptr, keep.record(), nullptr);
  p->call(1, 0, 0, -7, 5, tiny.record(), nullptr, keep.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(keep, seqfx_test::solid(7, 5, {1, 2, 3, 4})));
}

TEST_F(Pixelize, ArbitrarySlotBytesFactorsAndSizes) { geometry_test::shake_slots(*p, 1); }

}  // namespace
