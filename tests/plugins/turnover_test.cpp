// turnover: mirrors and the quarter turn, toggles that count only at
// exactly 1, turned pictures that are not square, aliased and odd-sized
// images.

#include "geometry_support.h"

using geometry_test::positions;
using geometry_test::where;
using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

using Pos = std::pair<int, int>;

class Turnover : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("turnover"); }
  void set(int fx, int fy, int rot) {
    geometry_test::poke(*p, "Flip X", fx);
    geometry_test::poke(*p, "Flip Y", fy);
    geometry_test::poke(*p, "rot", rot);
  }
  Image run(int w, int h) {
    Image src = positions(w, h), out(w, h);
    p->render(1, 0, 0, src, nullptr, out);
    return out;
  }
  std::unique_ptr<seqfx::Plugin> p;
};

inline int around(int v, int n) { return ((v % n) + n) % n; }

// The source of output (x, y): turned, mirrored, then brought into the
// frame by whole turns of its size.
Pos source(int x, int y, int w, int h, bool fx, bool fy, bool rot) {
  int sx = x, sy = y;
  if (rot) {
    sx = y;
    sy = h - 1 - x;
  }
  if (fx) sx = w - 1 - sx;
  if (fy) sy = h - 1 - sy;
  return {around(sx, w), around(sy, h)};
}

TEST_F(Turnover, Table) {
  geometry_test::expect_table(*p, "Turnover",
      {{"Input: 1 strip", 0x1400, 0, 0, 0, ""},
       {"Flip X", 0x0660, 0, 0, 1, "Flip image along x"},
       {"Flip Y", 0x0660, 0, 0, 1, "Flip image along y"},
       {"rot", 0x0660, 0, 0, 1, "Rotate Image"}});
}

TEST_F(Turnover, TwoByTwo) {
  // a, b / c, d in row order.
  const Pixel a{1, 0, 0, 9}, b{2, 0, 0, 9}, c{3, 0, 0, 9}, d{4, 0, 0, 9};
  Image src = seqfx_test::painted(2, 2, [&](int x, int y) { return y ? (x ? d : c) : (x ? b : a); });
  auto run2 = [&](int fx, int fy, int rot) {
    set(fx, fy, rot);
    Image out(2, 2);
    p->render(1, 0, 0, src, nullptr, out);
    return std::vector<Pixel>{at(out, 0, 0), at(out, 1, 0), at(out, 0, 1), at(out, 1, 1)};
  };
  EXPECT_EQ(run2(0, 0, 0), (std::vector<Pixel>{a, b, c, d}));
  EXPECT_EQ(run2(0, 1, 0), (std::vector<Pixel>{c, d, a, b}));
  EXPECT_EQ(run2(1, 0, 0), (std::vector<Pixel>{b, a, d, c}));
  EXPECT_EQ(run2(0, 0, 1), (std::vector<Pixel>{c, a, d, b}));
  EXPECT_EQ(run2(1, 1, 1), (std::vector<Pixel>{b, d, a, c}));  // the other way round
}

// Square pictures turn exactly; wide, tall and more-than-twice-as-wide
// ones repeat the turned picture across the frame.
TEST_F(Turnover, EveryCombinationOnSquareWideAndTallFrames) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {5, 7}, {37, 23}, {23, 37}, {37, 5}, {5, 37},
                      {6, 6}})
    for (int m = 0; m < 8; ++m) {
      const bool fx = m & 1, fy = m & 2, rot = m & 4;
      set(fx, fy, rot);
      Image out = run(w, h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(where(out, x, y), source(x, y, w, h, fx, fy, rot))
              << w << "x" << h << " mode " << m << " at " << x << "," << y;
    }
}

TEST_F(Turnover, QuarterTurnOfAWidePicture) {
  // 37 x 5: output (x, y) reads column y and row 4 - x; row 4 - 12 = -8
  // is two turns of 5 off and lands on row 2.
  set(0, 0, 1);
  Image out = run(37, 5);
  EXPECT_EQ(where(out, 0, 3), (Pos{3, 4}));
  EXPECT_EQ(where(out, 7, 3), (Pos{3, 2}));   // -3 + 5: what adding 5 once gives
  EXPECT_EQ(where(out, 12, 3), (Pos{3, 2}));  // -8 + 10
  // A tall picture: column y past the width wraps round.
  out = run(5, 37);
  EXPECT_EQ(where(out, 0, 30), (Pos{0, 36}));
}

TEST_F(Turnover, TogglesCountOnlyAtExactlyOne) {
  for (int v : {2, -1, 0x10001}) {
    set(v, v, v);
    EXPECT_TRUE(seqfx_test::same_pixels(run(7, 5), positions(7, 5))) << v;
  }
}

TEST_F(Turnover, InPlace) {
  for (int m = 0; m < 8; ++m) {
    set(m & 1, (m >> 1) & 1, (m >> 2) & 1);
    Image expected = run(37, 23);
    Image same = positions(37, 23);
    p->call(1, 0, 0, 37, 23, same.record(), nullptr, same.record(), nullptr);
    EXPECT_TRUE(seqfx_test::same_pixels(same, expected)) << m;
  }
}

// Positions are frame positions; an output smaller than the frame gets its
// part, a source smaller than the frame gives transparent black beyond it.
TEST_F(Turnover, ImagesOfAnotherSize) {
  set(1, 0, 0);
  Image src = positions(37, 23);
  Image small(7, 5);
  p->call(1, 0, 0, 37, 23, src.record(), nullptr, small.record(), nullptr);
  EXPECT_EQ(where(small, 0, 0), (Pos{36, 0}));
  EXPECT_EQ(where(small, 6, 4), (Pos{30, 4}));
  Image tiny = positions(7, 5);
  Image out = seqfx_test::solid(37, 23, {1, 2, 3, 4});
  for (int m = 0; m < 8; ++m) {
    set(m & 1, (m >> 1) & 1, (m >> 2) & 1);
    p->call(1, 0, 0, 37, 23, tiny.record(), nullptr, out.record(), nullptr);
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) {
        const Pos s = source(x, y, 37, 23, m & 1, m & 2, m & 4);
        const Pixel want = s.first < 7 && s.second < 5 ? at(tiny, s.first, s.second)
                                                       : Pixel{0, 0, 0, 0};
        ASSERT_EQ(at(out, x, y), want) << m << " at " << x << "," << y;
      }
  }
  // Missing images and frame sizes that are not positive write nothing.
  Image keep = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  Image none(7, 5, false);
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, keep.record(), nullptr);
  p->call(1, 0, 0, 7, 5, none.record(), nullptr, keep.record(), nullptr);
  p->call(1, 0, 0, 0, 5, tiny.record(), nullptr, keep.record(), nullptr);
  p->call(1, 0, 0, 7, -5, tiny.record(), nullptr, keep.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(keep, seqfx_test::solid(7, 5, {1, 2, 3, 4})));
}

TEST_F(Turnover, ArbitrarySlotBytesFactorsAndSizes) { geometry_test::shake_slots(*p, 1); }

}  // namespace
