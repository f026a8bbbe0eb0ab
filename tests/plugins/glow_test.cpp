// glow: highlight isolation, the 2n-tap blur with its mirrored border
// windows, and the saturating addition.

#include "glow_reference.h"
#include "seqfx_test.h"

#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kThreshold = 1, kClamp = 2, kBoost = 3, kDistance = 4, kQuality = 5, kOnlyBoost = 6 };

class Glow : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("glow"); }
  void set(double threshold, double clamp, double boost, double distance, int quality,
           int only_boost) {
    p->set_value(kThreshold, threshold);
    p->set_value(kClamp, clamp);
    p->set_value(kBoost, boost);
    p->set_value(kDistance, distance);
    p->set_value(kQuality, quality);
    p->set_value(kOnlyBoost, only_boost);
  }
  // The plug-in's result computed with the reference routines, from the
  // values the ParamBlock holds.
  Image expected(const Image &src, const Image &out_before) {
    const int w = src.width(), h = src.height();
    Image e(w, h);
    std::memcpy(e.rect(), out_before.rect(), e.pixels() * 4);
    const int threshold = (int)(p->float_slot(kThreshold) * 765.0f);
    glow_reference::isolate(src.rect(), e.rect(), w, h, threshold, p->float_slot(kBoost),
                            p->float_slot(kClamp));
    glow_reference::blur(e.rect(), w, h, p->float_slot(kDistance), p->int_slot(kQuality));
    if (p->int_slot(kOnlyBoost) == 0) glow_reference::add(src.rect(), e.rect(), e.rect(), w, h);
    return e;
  }
  // Renders a 3x3 image of one colour with the one-pixel kernel (n = 1);
  // the window of the centre pixel sees that colour twice, so the centre
  // shows the isolated highlight unchanged.
  Pixel centre(Pixel colour, double threshold, double clamp, double boost) {
    set(threshold, clamp, boost, 0.5, 1, 1);
    Image src = seqfx_test::solid(3, 3, colour);
    Image out(3, 3);
    p->render(1, 0, 0, src, nullptr, out);
    return at(out, 1, 1);
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Glow, Table) {
  EXPECT_EQ(p->display_name(), "glow");
  ASSERT_EQ(p->row_count(), 7);
  const char *names[] = {"In: 1 strip", "Threshold", "Clamp", "Boost Factor", "Blur Distance",
                         "Quality", "Only Boost"};
  const int codes[] = {0x1400, 0x0A80, 0x0A80, 0x0A80, 0x0A80, 0x0A60, 0x0660};
  const float def[] = {0, 0.5f, 1, 0.5f, 3, 3, 0}, lo[] = {0, 0, 0, 0, 0.5f, 1, 0},
              hi[] = {0, 1, 1, 10, 20, 5, 1};
  const char *tips[] = {"", "Trigger Intensity", "Brightness limit of intensity",
                        "Brightness multiplier", "Radius of glow effect",
                        "Accuracy of the blur effect", "Show the glow buffer only"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(seqfx::row_label(p->row(i)), names[i]);
    EXPECT_EQ(p->row(i).code, codes[i]);
    EXPECT_EQ(p->row(i).def, def[i]);
    EXPECT_EQ(p->row(i).min, lo[i]);
    EXPECT_EQ(p->row(i).max, hi[i]);
    EXPECT_EQ(seqfx::row_tip(p->row(i)), tips[i]);
  }
}

TEST_F(Glow, HighlightArithmeticIsSinglePrecision) {
  // Boost 0.7 with intensity 255: 10 * 0.7f * 255 / 255 is 7 in single
  // precision (6 in double), 120 gives 84 (83 in double); 125 gives 87.
  EXPECT_EQ(centre({10, 120, 125, 0}, 0, 1, 0.7), (Pixel{7, 84, 87, 0}));
  // Threshold 0.5 is 382: a sum of 382 gives nothing, 383 an intensity of 1.
  EXPECT_EQ(centre({127, 127, 128, 0}, 0.5, 1, 10), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(centre({127, 127, 129, 0}, 0.5, 1, 10), (Pixel{4, 4, 5, 0}));
  // The limit is clamp * 255 in single precision, truncated with the value.
  EXPECT_EQ(centre({200, 100, 10, 0}, 0, 0.1, 1), (Pixel{25, 25, 12, 0}));
  EXPECT_EQ(centre({255, 255, 255, 0}, 0, 1, 10), (Pixel{255, 255, 255, 0}));
}

TEST_F(Glow, NothingGlowsAtTheExtremes) {
  // Threshold 1 (765), Clamp 0 and Boost 0 each make the halo black: the
  // picture comes through, with the A bytes summed.
  Image src = seqfx_test::test_picture(37, 23);
  for (int which = 0; which < 3; ++which) {
    set(which == 0 ? 1 : 0, which == 1 ? 0 : 1, which == 2 ? 0 : 10, 20, 5, 0);
    Image out = seqfx_test::solid(37, 23, {9, 9, 9, 0});
    p->render(1, 0, 0, src, nullptr, out);
    EXPECT_TRUE(seqfx_test::same_pixels(out, src)) << which;
  }
  // Threshold 0: a black pixel has no intensity, so a black frame stays black.
  set(0, 1, 10, 3, 3, 1);
  Image black = seqfx_test::solid(7, 5, {0, 0, 0, 255});
  Image out(7, 5);
  p->render(1, 0, 0, black, nullptr, out);
  EXPECT_TRUE(seqfx_test::same_pixels(out, seqfx_test::solid(7, 5, {0, 0, 0, 0})));
}

TEST_F(Glow, OnePixelKernelShiftsHalfAPixelAndHalvesTheEdges) {
  // n = 1: weights 0.5 for the offsets -1 and 0; the last column and row
  // take the mirrored window (offsets 1 and 0), whose outer tap is missing.
  set(0, 1, 1, 0.5, 1, 1);
  Image src = seqfx_test::painted(5, 5, [](int x, int y) {
    return x == 2 && y == 2 ? Pixel{255, 255, 255, 7} : Pixel{0, 0, 0, 7};
  });
  Image out(5, 5);
  p->render(1, 0, 0, src, nullptr, out);
  // 255 * 3 * 1 / 255 is 765, limited to 255; then 127, then 63.
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      const unsigned char v = (x == 2 || x == 3) && (y == 2 || y == 3) ? 63 : 0;
      EXPECT_EQ(at(out, x, y), (Pixel{v, v, v, 0})) << x << "," << y;
    }
  // A uniform frame: the inside keeps its value, every edge is halved
  // (the corners twice).
  Image flat = seqfx_test::solid(4, 3, {255, 0, 0, 0});
  out = Image(4, 3);
  p->render(1, 0, 0, flat, nullptr, out);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool ex = x == 0 || x == 3, ey = y == 0 || y == 2;
      const unsigned char v = ex && ey ? 63 : (ex || ey ? 127 : 255);
      EXPECT_EQ(at(out, x, y)[0], v) << x << "," << y;
    }
}

TEST_F(Glow, AlphaIsTheSaturatingSumOfInputAndOutput) {
  Image src = seqfx_test::painted(7, 5, [](int x, int) {
    return Pixel{255, 255, 255, (unsigned char)(x * 40)};
  });
  Image out = seqfx_test::solid(7, 5, {0, 0, 0, 100});
  p->render(1, 0, 0, src, nullptr, out);
  for (int x = 0; x < 7; ++x) EXPECT_EQ(at(out, x, 1)[3], x * 40 + 100 > 255 ? 255 : x * 40 + 100);
  // The colour saturates too: white plus any glow stays white.
  EXPECT_EQ(at(out, 3, 2), (Pixel{255, 255, 255, 220}));
  p->set_value(kOnlyBoost, 1);
  out = seqfx_test::solid(7, 5, {0, 0, 0, 100});
  p->render(1, 0, 0, src, nullptr, out);
  EXPECT_EQ(at(out, 6, 4)[3], 100);
}

TEST_F(Glow, MatchesTheReferenceOnEverySize) {
  // Sizes below, around and above the window 2n, for n = 1, 4, 12 and 120.
  struct Setting { double threshold, clamp, boost, distance; int quality, only; };
  const Setting settings[] = {{0.5, 1, 0.5, 3, 3, 0},  {0, 1, 10, 20, 5, 0},
                              {0, 0.7, 3, 0.5, 1, 1},  {0.2, 1, 1.3, 1, 3, 1},
                              {0.3, 0.9, 2, 2.7, 2, 0}};
  const std::pair<int, int> sizes[] = {{1, 1}, {2, 3}, {7, 5}, {8, 9}, {37, 23}, {100, 1},
                                       {1, 30}, {70, 41}, {250, 3}};
  for (const Setting &s : settings) {
    set(s.threshold, s.clamp, s.boost, s.distance, s.quality, s.only);
    for (auto [w, h] : sizes) {
      Image src = seqfx_test::test_picture(w, h, 3);
      Image before = seqfx_test::test_picture(w, h, 4);
      Image out(w, h);
      std::memcpy(out.rect(), before.rect(), out.pixels() * 4);
      p->render(1, 0, 0, src, nullptr, out);
      Image want = expected(src, before);
      ASSERT_TRUE(seqfx_test::same_pixels(out, want))
          << w << "x" << h << " distance " << s.distance << " quality " << s.quality;
    }
  }
}

TEST_F(Glow, LargeFramesMatchTheReference) {
  // Frames large enough for the highlight values to be tabulated; every
  // byte value and a wide range of intensities occur.
  Image src = seqfx_test::painted(256, 200, [](int x, int y) {
    return Pixel{(unsigned char)x, (unsigned char)(y + x / 2), (unsigned char)(x * y), 200};
  });
  for (double threshold : {0.0, 0.5}) {
    set(threshold, 0.8, 2.3, 1.5, 2, 0);
    Image before = seqfx_test::test_picture(256, 200, 2);
    Image out(256, 200);
    std::memcpy(out.rect(), before.rect(), out.pixels() * 4);
    p->render(1, 0, 0, src, nullptr, out);
    EXPECT_TRUE(seqfx_test::same_pixels(out, expected(src, before))) << threshold;
  }
}

TEST_F(Glow, ALoneLightReachesExactlyItsWindow) {
  // One lit pixel on black, moved along a row and up a column: wherever it
  // lies, every pixel whose window (plain or mirrored) covers it gets its
  // share, and no other pixel does.
  for (double distance : {0.5, 3.0}) {
    set(0, 1, 1, distance, distance < 1 ? 1 : 3, 1);
    for (int along = 0; along < 2; ++along)
      for (int at = 0; at < 90; ++at) {
        const int w = along ? 90 : 3, h = along ? 3 : 90;
        Image src = seqfx_test::painted(w, h, [&](int x, int y) {
          const bool here = along ? (x == at && y == 1) : (y == at && x == 1);
          return here ? Pixel{255, 128, 4, 255} : Pixel{0, 0, 0, 255};
        });
        Image out(w, h);
        p->render(1, 0, 0, src, nullptr, out);
        ASSERT_TRUE(seqfx_test::same_pixels(out, expected(src, Image(w, h))))
            << "distance " << distance << (along ? " column " : " row ") << at;
      }
  }
}

TEST_F(Glow, MissingImagesLeaveTheOutputAlone) {
  Image src = seqfx_test::test_picture(7, 5);
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  Image none(7, 5, false);
  p->call(1, 0, 0, 7, 5, none.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, src.record(), nullptr, none.record(), nullptr);
  p->call(1, 0, 0, 0, 5, src.record(), nullptr, out.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, seqfx_test::solid(7, 5, {1, 2, 3, 4})));
}

}  // namespace
