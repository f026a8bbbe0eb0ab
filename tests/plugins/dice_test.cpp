// dice: blocks in draw order with the four orientations, the seed, Animate
// and Grow, blocks that wrap round the frame (also several times), aliased
// and odd-sized images.

#include "geometry_support.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <set>

using geometry_test::poke;
using geometry_test::positions;
using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

class Dice : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("dice"); }
  void set(int sx, int sy, float seed = 0, int animate = 0, int grow = 0) {
    poke(*p, "Cube SizeX", sx);
    poke(*p, "Cube SizeY", sy);
    poke(*p, "Seed", seed);
    poke(*p, "Animate", animate);
    poke(*p, "Grow", grow);
  }
  Image run(const Image &src, float frame = 1, float factor0 = 0) {
    Image out(src.width(), src.height());
    p->render(frame, factor0, 0, const_cast<Image &>(src), nullptr, out);
    return out;
  }
  std::unique_ptr<seqfx::Plugin> p;
};

// The pattern drawn pixel by pixel: the generator seeded once, one draw per
// block in block order, every position wrapped round the frame.
Image dice(const Image &src, std::int64_t bw, std::int64_t bh, unsigned seed, std::vector<int> *dirs = nullptr) {
  const std::int64_t w = src.width(), h = src.height();
  Image e(w, h);
  std::srand(seed);
  for (std::int64_t by = 0; by < h; by += bh)
    for (std::int64_t bx = 0; bx < w; bx += bw) {
      const int dir = std::rand() % 32768 % 4;
      if (dirs) dirs->push_back(dir);
      for (std::int64_t j = 0; j < bw; ++j)
        for (std::int64_t i = 0; i < bh; ++i) {
          const std::int64_t sj = dir == 1 || dir == 3 ? bw - 1 - j : j;
          const std::int64_t si = dir == 1 || dir == 2 ? bh - 1 - i : i;
          std::memcpy(e.pixel((bx + j) % w, (by + i) % h),
                      src.pixel((bx + sj) % w, (by + si) % h), 4);
        }
    }
  return e;
}

TEST_F(Dice, Table) {
  geometry_test::expect_table(*p, "Dice",
      {{"In: 1 strip", 0x1400, 0, 0, 0, ""},
       {"Cube SizeX", 0x0A60, 15, 1, 2000, "Width"},
       {"Cube SizeY", 0x0A60, 15, 1, 2000, "Height"},
       {"Seed", 0x0A80, 0, 0, 1, ""},
       {"Animate", 0x0A60, 0, 0, 1, "Change Dir by frame"},
       {"Grow", 0x0A60, 0, 0, 1, "Make cubes grow"}});
}

TEST_F(Dice, BlocksInDrawOrderWrappingAtTheEdges) {
  // 100 wide with blocks 15 wide: the block at 90 covers 90..99 and wraps
  // onto columns 0..4 of its rows; 37 x 23 with 5 x 4 blocks wraps both ways.
  for (auto [w, h, bw, bh] : {std::array{100, 30, 15, 15}, {37, 23, 5, 4}, {7, 5, 3, 2},
                              {1, 1, 15, 15}, {37, 23, 37, 23}, {6, 4, 3, 2}}) {
    Image src = positions(w, h);
    set(bw, bh);
    std::vector<int> dirs;
    Image want = dice(src, bw, bh, 0, &dirs);
    ASSERT_TRUE(seqfx_test::same_pixels(run(src), want)) << w << "x" << h;
    if (dirs.size() > 20) {
      EXPECT_EQ(std::set<int>(dirs.begin(), dirs.end()).size(), 4u);
    }
  }
}

TEST_F(Dice, OneBlockShowsOneOrientation) {
  Image src = positions(7, 5);
  set(7, 5);
  Image out = run(src);
  auto [x0, y0] = geometry_test::where(out, 0, 0);
  EXPECT_TRUE((x0 == 0 || x0 == 6) && (y0 == 0 || y0 == 4));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      ASSERT_EQ(geometry_test::where(out, x, y),
                (std::pair<int, int>{x0 ? 6 - x : x, y0 ? 4 - y : y}));
}

TEST_F(Dice, SinglePixelBlocksCopy) {
  Image src = seqfx_test::test_picture(37, 23, 1);
  set(1, 1);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src), src));
  set(20, 20, 0, 0, 1);  // growing, at factor 0
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 1, 0), src));
}

TEST_F(Dice, SeedAnimateAndGrow) {
  Image src = positions(37, 23);
  // Without Animate the frame number is not used; Seed 1 seeds 1.
  set(4, 3, 0.9f);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 1), dice(src, 4, 3, 0)));
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 77), dice(src, 4, 3, 0)));
  set(4, 3, 1);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 77), dice(src, 4, 3, 1)));
  // With Animate, seed + frame in single precision, truncated.
  set(4, 3, 0.5f, 1);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 5), dice(src, 4, 3, 5)));
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 5), run(src, 5)));
  EXPECT_FALSE(seqfx_test::same_pixels(run(src, 5), run(src, 6)));
  // 16777216 + 1 is 16777216 in single precision.
  set(4, 3, 1, 1);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 16777216.0f), dice(src, 4, 3, 16777216)));
  // Grow: floor(factor0 x size) in single precision.
  set(15, 9, 0, 0, 1);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 1, 0.5f), dice(src, 7, 4, 0)));
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 1, 1.0f), dice(src, 15, 9, 0)));
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 1, 0.1f), dice(src, 1, 1, 0)));
}

// Blocks far larger than the frame (the table allows 2000 on any frame)
// wrap round it as often as they need and never leave it.
TEST_F(Dice, BlocksSeveralTimesTheFrame) {
  Image src = positions(7, 5);
  for (auto [bw, bh] : {std::pair{2000, 2000}, {15, 11}, {2000, 1}, {1, 13}}) {
    set(bw, bh);
    ASSERT_TRUE(seqfx_test::same_pixels(run(src), dice(src, bw, bh, 0))) << bw << "x" << bh;
  }
  Image one = positions(1, 1);
  set(2000, 2000);
  EXPECT_TRUE(seqfx_test::same_pixels(run(one), one));
  // Sizes no table allows: a whole-range block costs no more than the
  // frame, and sizes below 1 are 1.
  set(2147483647, 2147483647);
  Image out = run(src);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(at(out, x, y)[3], 200);
  set(0, -5);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src), src));
}

TEST_F(Dice, InPlace) {
  set(5, 4, 0, 1);
  Image src = positions(37, 23);
  Image expected = run(src, 3);
  Image same = positions(37, 23);
  p->call(3, 0, 0, 37, 23, same.record(), nullptr, same.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(same, expected));
}

// Blocks lie over the frame; the output receives its part of it, and
// source positions a smaller input does not hold are transparent black.
TEST_F(Dice, ImagesOfAnotherSize) {
  set(5, 4);
  Image src = positions(37, 23);
  const Image full = dice(src, 5, 4, 0);
  Image small(7, 5);
  p->call(1, 0, 0, 37, 23, src.record(), nullptr, small.record(), nullptr);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(at(small, x, y), at(full, x, y));

  Image tiny = positions(7, 5);
  Image out = seqfx_test::solid(37, 23, {1, 2, 3, 4});
  p->call(1, 0, 0, 37, 23, tiny.record(), nullptr, out.record(), nullptr);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) {
      auto [sx, sy] = geometry_test::where(full, x, y);
      ASSERT_EQ(at(out, x, y), (sx < 7 && sy < 5 ? at(tiny, sx, sy) : Pixel{0, 0, 0, 0}));
    }
  Image keep = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  Image none(7, 5, false);
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, keep.record(), nullptr);
  p->call(1, 0, 0, 7, 5, none.record(), nullptr, keep.record(), nullptr);
  p->call(1, 0, 0, 0, 0, tiny.record(), nullptr, keep.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(keep, seqfx_test::solid(7, 5, {1, 2, 3, 4})));
}

TEST_F(Dice, ArbitrarySlotBytesFactorsAndSizes) { geometry_test::shake_slots(*p, 1); }

}  // namespace
