// tonecut: YUV closeness key with per-channel switches, the blend ramp and
// the debug planes.

#include <cstring>

#include "seqfx_test.h"

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kY, kU, kV, kTolY, kTolU, kTolV, kYOn, kUOn, kVOn, kBlend, kDebug };

class Tonecut : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("tonecut"); }
  void channels(int y, int u, int v) {
    p->set_value(kYOn, y);
    p->set_value(kUOn, u);
    p->set_value(kVOn, v);
  }
  // Keys one foreground pixel over one background pixel, in a row of five
  // so that both the four-pixel groups and the single pixels at the end of
  // a frame are checked.
  Pixel key(Pixel fg, Pixel bg) {
    Image a = seqfx_test::solid(5, 1, fg), b = seqfx_test::solid(5, 1, bg);
    Image out = seqfx_test::solid(5, 1, {9, 9, 9, 9});
    p->render(1, 0, 0, a, &b, out);
    for (int x = 1; x < 5; ++x) EXPECT_EQ(at(out, x, 0), at(out, 0, 0)) << "pixel " << x;
    return at(out, 0, 0);
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Tonecut, Table) {
  EXPECT_EQ(p->display_name(), "Chroma Key");
  ASSERT_EQ(p->row_count(), 11);
  EXPECT_EQ(seqfx::row_label(p->row(kBlend)), "Blend: ");
  EXPECT_EQ(seqfx::row_label(p->row(kDebug)), "Debug: ");
  EXPECT_EQ(seqfx::row_tip(p->row(kTolV)), "Tolerance(V)");
  EXPECT_EQ(p->row(kDebug).code, 0x1C60);
  EXPECT_EQ(p->row(kTolU).min, 0.0001f);
  EXPECT_EQ(p->int_slot(kDebug), -1);
}

TEST_F(Tonecut, MissingOrIdenticalStripsLeaveTheOutputAlone) {
  Image a = seqfx_test::test_picture(7, 5), b = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  Image out = seqfx_test::solid(7, 5, {9, 9, 9, 9});
  const Image before = seqfx_test::solid(7, 5, {9, 9, 9, 9});
  p->set_value(kDebug, 0);  // would otherwise write every pixel
  seqfx_test::Console con;
  p->call(1, 0, 0, 7, 5, a.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, nullptr, b.record(), out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, a.record(), a.record(), out.record(), nullptr);
  p->call(1, 0, 0, 7, 0, a.record(), b.record(), out.record(), nullptr);
  con.finish();
  EXPECT_TRUE(seqfx_test::same_pixels(out, before));
  EXPECT_EQ(con.out(), "");

  seqfx_test::Console con2;
  p->call(1, 0, 0, 7, 5, a.record(), b.record(), nullptr, nullptr);
  con2.finish();
  EXPECT_EQ(con2.out(), "tonecut: no output image!\n");
}

TEST_F(Tonecut, ExactKeyGivesTheBackgroundWithItsAlpha) {
  // White is Y 1, U 0.5, V 0.5 exactly.
  p->set_value(kY, 1);
  EXPECT_EQ(key({255, 255, 255, 255}, {10, 20, 30, 40}), (Pixel{10, 20, 30, 40}));
  p->set_value(kBlend, 0.999);
  EXPECT_EQ(key({255, 255, 255, 0}, {10, 20, 30, 40}), (Pixel{10, 20, 30, 40}));
}

TEST_F(Tonecut, OneCloseChannelIsEnough) {
  // Pure green: Y 0.587 lies within 0.1 of the default key, U and V do not.
  // m = 1 - 0.087 / 0.1 is above the default blend, so k = 1.
  EXPECT_EQ(key({0, 255, 0, 255}, {1, 2, 3, 4}), (Pixel{1, 2, 3, 4}));
  channels(0, 1, 1);
  EXPECT_EQ(key({0, 255, 0, 255}, {1, 2, 3, 4}), (Pixel{0, 255, 0, 255}));
}

TEST_F(Tonecut, AllChannelsOffCopiesTheForeground) {
  channels(0, 0, 0);
  p->set_value(kTolY, 1);
  p->set_value(kTolU, 1);
  p->set_value(kTolV, 1);
  Image a = seqfx_test::test_picture(37, 23, 3), b = seqfx_test::test_picture(37, 23, 4);
  Image out(37, 23);
  p->render(1, 0, 0, a, &b, out);
  EXPECT_TRUE(seqfx_test::same_pixels(out, a));
}

TEST_F(Tonecut, BlendRampOverAllFourBytes) {
  // Only Y: white against key 0.5 with tolerance 1 gives m = 0.5.
  channels(1, 0, 0);
  p->set_value(kY, 0.5);
  p->set_value(kTolY, 1);
  p->set_value(kBlend, 1);  // k = m = 0.5
  EXPECT_EQ(key({255, 255, 255, 255}, {0, 0, 0, 0}), (Pixel{127, 127, 127, 127}));
  p->set_value(kBlend, 0.25);  // m above the blend: k = 1
  EXPECT_EQ(key({255, 255, 255, 255}, {0, 0, 0, 0}), (Pixel{0, 0, 0, 0}));
}

TEST_F(Tonecut, MixIsSinglePrecision) {
  // Grey 3 against a white key with tolerance 1 and blend 1: k = 0.0117647052
  // in single precision. 88 k + 3 (1 - k) is 4.0000 in floats (3.99999 in
  // doubles), and 86 k + 1 (1 - k) is 2.0000 (1.99999).
  channels(1, 0, 0);
  p->set_value(kY, 1);
  p->set_value(kTolY, 1);
  p->set_value(kBlend, 1);
  EXPECT_EQ(key({3, 3, 3, 1}, {88, 88, 88, 86}), (Pixel{4, 4, 4, 2}));
}

TEST_F(Tonecut, ToleranceEdgeAndZeroBlendKeepTheForeground) {
  // White: d = |1 - 0.5| = 0.5 = TolY, so m = 0 and k = 0.
  channels(1, 0, 0);
  p->set_value(kY, 0.5);
  p->set_value(kTolY, 0.5);
  EXPECT_EQ(key({255, 255, 255, 7}, {1, 2, 3, 4}), (Pixel{255, 255, 255, 7}));
  p->set_value(kBlend, 0);  // 0 / 0 counts as k = 0
  EXPECT_EQ(key({255, 255, 255, 7}, {1, 2, 3, 4}), (Pixel{255, 255, 255, 7}));
  // Blend 0 with any closeness above 0 keys fully.
  p->set_value(kTolY, 0.6);
  EXPECT_EQ(key({255, 255, 255, 7}, {1, 2, 3, 4}), (Pixel{1, 2, 3, 4}));
}

// A Blend below 0 (written straight into the slot) keys every candidate
// fully; the pixels beside it that are no candidate keep their foreground,
// in lanes of any width and in the single pixels at the end of a row.
TEST_F(Tonecut, NegativeBlendLeavesOtherPixelsAlone) {
  channels(1, 0, 0);
  const float blend = -0.5f;
  std::memcpy(p->slot(kBlend), &blend, 4);
  const int w = 37;
  auto candidate = [](int x) { return x == 0 || x == 5 || x == 18 || x == 35; };
  // Grey 128 (Y near 0.5) is a candidate, white is none.
  Image a = seqfx_test::painted(w, 1, [&](int x, int) {
    return candidate(x) ? Pixel{128, 128, 128, 9} : Pixel{255, 255, 255, 9};
  });
  Image b = seqfx_test::solid(w, 1, {1, 2, 3, 4}), out = seqfx_test::solid(w, 1, {9, 9, 9, 9});
  p->render(1, 0, 0, a, &b, out);
  for (int x = 0; x < w; ++x) {
    EXPECT_EQ(at(out, x, 0), candidate(x) ? (Pixel{1, 2, 3, 4}) : (Pixel{255, 255, 255, 9})) << "pixel " << x;
  }
}

TEST_F(Tonecut, DebugPlanes) {
  const Pixel bg{50, 60, 70, 80};
  p->set_value(kDebug, 0);
  EXPECT_EQ(key({255, 255, 255, 255}, bg), (Pixel{255, 255, 255, 1}));
  EXPECT_EQ(key({0, 0, 0, 200}, bg), (Pixel{0, 0, 0, 1}));
  // The weights are double constants: single-precision weights give 74.
  EXPECT_EQ(key({1, 89, 197, 0}, bg), (Pixel{75, 75, 75, 1}));
  p->set_value(kDebug, 1);
  EXPECT_EQ(key({0, 0, 255, 255}, bg), (Pixel{243, 243, 243, 1}));
  EXPECT_EQ(key({255, 255, 255, 255}, bg), (Pixel{127, 127, 127, 1}));
  p->set_value(kDebug, 2);
  EXPECT_EQ(key({255, 0, 0, 255}, bg), (Pixel{254, 254, 254, 1}));
  EXPECT_EQ(key({0, 0, 255, 255}, bg), (Pixel{106, 106, 106, 1}));
}

TEST_F(Tonecut, GroupsOfFourAgreeWithSinglePixels) {
  // A frame is keyed four pixels at a time; each pixel keyed alone must
  // give the same bytes, whatever its neighbours.
  struct Case { float y, u, v, tol, blend; int on[3]; };
  const Case cases[] = {{0.5f, 0.5f, 0.5f, 0.1f, 0.1f, {1, 1, 1}},
                        {0.3f, 0.6f, 0.4f, 0.4f, 1.0f, {1, 1, 1}},
                        {0.6f, 0.2f, 0.1f, 0.3f, 0.5f, {0, 1, 1}},
                        {0.5f, 0.5f, 0.5f, 0.5f, 0.0f, {1, 0, 1}},
                        {0.2f, 0.5f, 0.5f, 1.0f, 0.7f, {1, 1, 0}}};
  Image a = seqfx_test::test_picture(37, 23, 7), b = seqfx_test::test_picture(37, 23, 8);
  for (const Case &c : cases) {
    p->set_value(kY, c.y), p->set_value(kU, c.u), p->set_value(kV, c.v);
    p->set_value(kTolY, c.tol), p->set_value(kTolU, c.tol), p->set_value(kTolV, c.tol);
    p->set_value(kBlend, c.blend);
    channels(c.on[0], c.on[1], c.on[2]);
    Image out(37, 23);
    p->render(1, 0, 0, a, &b, out);
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) {
        Image one_a = seqfx_test::solid(1, 1, at(a, x, y)), one_b = seqfx_test::solid(1, 1, at(b, x, y));
        Image one_out(1, 1);
        p->render(1, 0, 0, one_a, &one_b, one_out);
        ASSERT_EQ(at(out, x, y), at(one_out, 0, 0)) << x << "," << y << " key " << c.y;
      }
  }
}

TEST_F(Tonecut, ExtremesOnOddSizes) {
  // Widest tolerances and blend 0: every pixel is a candidate and k is 0
  // or 1, so each output pixel is one of its two inputs.
  p->set_value(kTolY, 1);
  p->set_value(kTolU, 1);
  p->set_value(kTolV, 1);
  p->set_value(kBlend, 0);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image a = seqfx_test::test_picture(w, h, 5), b = seqfx_test::test_picture(w, h, 6);
    Image out(w, h);
    p->render(1, 0, 0, a, &b, out);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const Pixel o = at(out, x, y);
        EXPECT_TRUE(o == at(a, x, y) || o == at(b, x, y)) << x << "," << y;
      }
  }
}

}  // namespace
