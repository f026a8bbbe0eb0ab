// sweep: the 22 wipe patterns, their bounds and the missing-input fallbacks.

#include "seqfx_test.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

const Pixel kA{255, 0, 0, 255};
const Pixel kB{0, 0, 255, 128};
const Pixel kBlack{0, 0, 0, 255};

class Sweep : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("sweep"); }
  // Writes the Type slot directly, as a host could, also outside 0..21.
  void type(int t) { std::memcpy(p->slot(p->find_row("Type")), &t, 4); }
  // Renders solid strips; true where the output shows the second strip.
  std::vector<bool> mask(int t, int w, int h, float f) {
    type(t);
    Image a = seqfx_test::solid(w, h, kA), b = seqfx_test::solid(w, h, kB), out(w, h);
    p->render(1, f, 0, a, &b, out);
    std::vector<bool> m((size_t)w * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const Pixel o = at(out, x, y);
        EXPECT_TRUE(o == kA || o == kB) << ::testing::PrintToString(o);
        m[(size_t)y * w + x] = o == kB;
      }
    return m;
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Sweep, Table) {
  EXPECT_EQ(p->display_name(), "Sweep");
  ASSERT_EQ(p->row_count(), 3);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "In: 2 strips");
  EXPECT_EQ(p->row(1).code, PLUGIN_CODE_NUMBER_INT);
  EXPECT_EQ(p->row(1).max, 21.0f);
  EXPECT_EQ(seqfx::row_tip(p->row(1)), "Our type of Sweep");
  EXPECT_EQ(seqfx::row_tip(p->row(2)), "For (Ipo) animated blur");
  EXPECT_EQ(p->int_slot(p->find_row("Type")), 0);
  EXPECT_EQ(p->int_slot(p->find_row("Animated")), 0);
}

TEST_F(Sweep, AtFactorZeroOnlyTheInclusiveBoundsShowTheSecondStrip) {
  const int w = 37, h = 23, cx = 18, cy = 11;
  for (int t = 0; t < 22; ++t) {
    auto m = mask(t, w, h, 0.0f);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        bool want = false;
        if (t == 0 || t == 9) want = x == 0;
        if (t == 2 || t == 11) want = y == 0;
        if (t == 8) want = x == cx;
        if (t == 10) want = y == cy;
        ASSERT_EQ(m[(size_t)y * w + x], want) << "type " << t << " at " << x << "," << y;
      }
  }
}

TEST_F(Sweep, AtFactorOneTheStraightAndBandWipesAreComplete) {
  for (int t : {0, 1, 2, 3, 8, 9, 10, 11}) {
    auto m = mask(t, 37, 23, 1.0f);
    for (size_t i = 0; i < m.size(); ++i) ASSERT_TRUE(m[i]) << "type " << t << " pixel " << i;
  }
}

// Characteristic pixels of every pattern on 37 x 23 at factor 0.5:
// fw = 18.5, fh = 11.5, m = 11.5, cx = 18, cy = 11.
TEST_F(Sweep, EveryPatternAtHalfway) {
  struct Case { int type, x, y; bool second; };
  const Case cases[] = {
      {0, 18, 5, true}, {0, 19, 5, false},
      {1, 18, 5, false}, {1, 19, 5, true},
      {2, 3, 11, true}, {2, 3, 12, false},
      {3, 3, 11, false}, {3, 3, 12, true},
      {4, 3, 4, true}, {4, 4, 4, false},        // x + H - y < 2m
      {5, 20, 5, true}, {5, 20, 6, false},      // W - x + y < 2m
      {6, 10, 12, true}, {6, 11, 12, false},
      {7, 20, 18, true}, {7, 20, 17, false},
      {8, 9, 0, true}, {8, 8, 0, false}, {8, 27, 0, true}, {8, 28, 0, false},
      {9, 9, 0, true}, {9, 10, 0, false}, {9, 27, 0, false}, {9, 28, 0, true},
      {10, 0, 6, true}, {10, 0, 5, false}, {10, 0, 16, true}, {10, 0, 17, false},
      {11, 0, 5, true}, {11, 0, 6, false}, {11, 0, 17, false}, {11, 0, 18, true},
      {12, 13, 0, true}, {12, 12, 0, false}, {12, 23, 0, true}, {12, 24, 0, false},
      {12, 0, 6, true}, {12, 0, 5, false}, {12, 0, 16, true}, {12, 0, 17, false},
      {13, 18, 11, false}, {13, 5, 11, true}, {13, 6, 11, false}, {13, 32, 11, true},
      {13, 31, 11, false}, {13, 18, 5, true}, {13, 18, 6, false}, {13, 18, 18, true},
      {13, 18, 17, false},
      {14, 0, 18, true}, {14, 0, 17, false}, {14, 36, 4, true}, {14, 36, 5, false},
      {15, 36, 10, true}, {15, 36, 11, false}, {15, 0, 12, true}, {15, 0, 11, false},
      {16, 0, 5, true}, {16, 0, 6, false}, {16, 17, 0, true}, {16, 18, 0, false},
      {17, 5, 6, true}, {17, 6, 6, false}, {17, 36, 13, true}, {17, 36, 12, false},
      {18, 18, 11, true}, {18, 10, 8, true}, {18, 0, 18, false}, {18, 9, 9, true},
      {18, 8, 9, false}, {18, 30, 5, false},
      {19, 0, 0, true}, {19, 18, 11, false}, {19, 0, 12, true}, {19, 5, 12, false},
      {19, 36, 10, true}, {19, 36, 11, false}, {19, 36, 22, true},
      {20, 18, 11, true}, {20, 0, 0, false}, {20, 3, 22, true}, {20, 11, 0, true},
      {20, 12, 0, false}, {20, 0, 6, false},
  };
  int current = -1;
  std::vector<bool> m;
  for (const Case &c : cases) {
    if (c.type != current) m = mask(current = c.type, 37, 23, 0.5f);
    EXPECT_EQ(m[(size_t)c.y * 37 + c.x], c.second)
        << "type " << c.type << " at " << c.x << "," << c.y;
  }
}

TEST_F(Sweep, DiagonalWipesUseTwiceTheSmallerExtent) {
  // 37 x 23 at factor 1: 2m = 46, so for type 6 the pixels with x + y >= 46
  // keep the first strip.
  auto m = mask(6, 37, 23, 1.0f);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) ASSERT_EQ(m[(size_t)y * 37 + x], x + y < 46) << x << "," << y;
}

TEST_F(Sweep, FrameWipeKeepsTheMiddleRowOfAWideFrame) {
  // 40 x 20 at factor 1: m/2 = 10; row 10 has y < 10 and H - y < 10 false.
  auto m = mask(13, 40, 20, 1.0f);
  EXPECT_FALSE(m[10 * 40 + 20]);
  EXPECT_TRUE(m[9 * 40 + 20]);
  EXPECT_TRUE(m[11 * 40 + 20]);
  EXPECT_TRUE(m[10 * 40 + 9]);
  EXPECT_FALSE(m[10 * 40 + 10]);
}

TEST_F(Sweep, OverlapOfTheCornerPairsStartsLate) {
  auto none = mask(21, 37, 23, 0.5f);
  for (size_t i = 0; i < none.size(); ++i) ASSERT_FALSE(none[i]) << i;
  // At factor 1 (m = 23): y > x meets x + y < 23.
  auto m = mask(21, 37, 23, 1.0f);
  EXPECT_TRUE(m[1 * 37 + 0]);
  EXPECT_FALSE(m[0]);
  EXPECT_FALSE(m[11 * 37 + 18]);
}

TEST_F(Sweep, TypesOutsideTheTableShowTheSecondStripEverywhere) {
  for (int t : {22, -1, 1000, INT_MIN, INT_MAX}) {
    auto m = mask(t, 7, 5, 0.0f);
    for (size_t i = 0; i < m.size(); ++i) ASSERT_TRUE(m[i]) << "type " << t;
  }
}

// A factor and a column at which a single-precision bound and the same
// bound in double precision disagree: the columns' own rounding decides.
template <typename F, typename D>
std::pair<float, int> disagreement(int w, F single, D dbl) {
  for (int x = 1; x < w; ++x)
    for (int k : {x, w - x, 2 * x, 2 * (w - x), 2 * (w / 2 - x)})
      for (float g : {std::nextafter((float)k / (float)w, 0.0f), (float)k / (float)w,
                      std::nextafter((float)k / (float)w, 2.0f)})
        if (g <= 1.0f && single(g, x) != dbl(g, x)) return {g, x};
  return {-1.0f, -1};
}

TEST_F(Sweep, BoundsAreSinglePrecision) {
  const int w = 1001;
  const float W = (float)w;
  // Type 0: x <= fw with fw = factor0 * W.
  auto [f0, x0] = disagreement(
      w, [&](float g, int x) { return (float)x <= g * W; },
      [&](float g, int x) { return (double)x <= (double)g * w; });
  ASSERT_GE(x0, 0);
  EXPECT_EQ(mask(0, w, 1, f0)[x0], (float)x0 <= f0 * W);
  // Type 1: x >= W - fw, a float subtraction.
  auto [f1, x1] = disagreement(
      w, [&](float g, int x) { return (float)x >= W - g * W; },
      [&](float g, int x) { return (double)x >= w - (double)g * w; });
  ASSERT_GE(x1, 0);
  EXPECT_EQ(mask(1, w, 1, f1)[x1], (float)x1 >= W - f1 * W);
  // Type 8: cx - fw/2 <= x with cx = 500; the float subtraction rounds.
  auto [f8, x8] = disagreement(
      w, [&](float g, int x) { return 500.0f - g * W * 0.5f <= (float)x && x <= 500; },
      [&](float g, int x) { return 500.0 - (double)g * w * 0.5 <= (double)x && x <= 500; });
  ASSERT_GE(x8, 0);
  EXPECT_EQ(mask(8, w, 1, f8)[x8], 500.0f - f8 * W * 0.5f <= (float)x8);
}

TEST_F(Sweep, MissingPlanesGiveOpaqueBlack) {
  type(0);
  Image a = seqfx_test::test_picture(7, 5, 1), b = seqfx_test::test_picture(7, 5, 2);
  Image out(7, 5);
  // Columns 0..3 from the second strip (x <= 3.5).
  Image no_rect(7, 5, false);
  p->render(1, 0.5f, 0, a, &no_rect, out);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(at(out, x, y), x <= 3 ? kBlack : at(a, x, y));
  // The first strip's plane missing: the second is still walked in step.
  p->render(1, 0.5f, 0, no_rect, &b, out);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(at(out, x, y), x <= 3 ? at(b, x, y) : kBlack);
}

TEST_F(Sweep, MissingImageRecordsCountAsMissingPlanes) {
  type(2);
  Image a = seqfx_test::test_picture(7, 5, 1), b = seqfx_test::test_picture(7, 5, 2);
  Image out(7, 5);
  p->call(1, 0.5f, 0, 7, 5, a.record(), nullptr, out.record(), nullptr);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(at(out, x, y), y <= 2 ? kBlack : at(a, x, y));
  p->call(1, 0.5f, 0, 7, 5, nullptr, b.record(), out.record(), nullptr);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(at(out, x, y), y <= 2 ? at(b, x, y) : kBlack);
  // Nothing to write into: nothing happens.
  p->call(1, 0.5f, 0, 7, 5, a.record(), b.record(), nullptr, nullptr);
  Image bare(7, 5, false);
  p->call(1, 0.5f, 0, 7, 5, a.record(), b.record(), bare.record(), nullptr);
}

TEST_F(Sweep, PixelsAreCopiedWholeOnEverySize) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image a = seqfx_test::test_picture(w, h, 1), b = seqfx_test::test_picture(w, h, 2);
    for (int t = -1; t <= 22; ++t)
      for (float f : {0.0f, 0.3f, 1.0f, 2.0f, -1.0f, NAN}) {
        type(t);
        Image out(w, h);
        p->render(1, f, 0, a, &b, out);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const Pixel o = at(out, x, y);
            ASSERT_TRUE(o == at(a, x, y) || o == at(b, x, y)) << t << " " << f;
          }
      }
  }
  // The 1 x 1 frame at factor 0: column 0 is a bound of type 0.
  Image a = seqfx_test::solid(1, 1, kA), b = seqfx_test::solid(1, 1, kB), out(1, 1);
  type(0);
  p->render(1, 0, 0, a, &b, out);
  EXPECT_EQ(at(out, 0, 0), kB);
  type(5);
  p->render(1, 0, 0, a, &b, out);
  EXPECT_EQ(at(out, 0, 0), kA);
}

}  // namespace
