// spin: the table, the mapping on hand-checked pixels, the outside styles,
// the cross-fade and the fallbacks for missing strips and degenerate input.

#include "seqfx_test.h"

#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kDeg = 1, kScale = 2, kAnimate = 3, kCrossfade = 4, kSpiral = 5, kR = 7, kG = 8,
           kB = 9, kStyle = 10, kCX = 11, kCY = 12, kInterp = 13 };

class Spin : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("spin"); }
  // A still turn: no animation, no spiral.
  void still(float degrees, float scale, int style) {
    p->set_value(kAnimate, 0);
    p->set_value(kSpiral, 0);
    p->set_value(kDeg, degrees);
    p->set_value(kScale, scale);
    style_slot(style);
  }
  void style_slot(int s) { std::memcpy(p->slot(kStyle), &s, 4); }
  Image render(const Image &a, float f = 0.5f, const Image *b = nullptr) {
    Image out(a.width(), a.height());
    p->render(1, f, 0, const_cast<Image &>(a), const_cast<Image *>(b), out);
    return out;
  }
  std::unique_ptr<seqfx::Plugin> p;
};

// RGB within one of the wanted pixel (interpolation weights that sum to a
// hair under one can lower a byte).
::testing::AssertionResult near(const Pixel &got, const Pixel &want) {
  for (int c = 0; c < 3; ++c)
    if (std::abs(got[c] - want[c]) > 1)
      return ::testing::AssertionFailure() << ::testing::PrintToString(got) << " vs "
                                           << ::testing::PrintToString(want);
  return ::testing::AssertionSuccess();
}

TEST_F(Spin, Table) {
  EXPECT_EQ(p->display_name(), "Spin");
  ASSERT_EQ(p->row_count(), 14);
  EXPECT_EQ(p->symbol("name"), nullptr);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "IN: 1 or 2");
  EXPECT_EQ(seqfx::row_tip(p->row(kDeg)), "Number of degrees to rotate NB: +ve is CW, -ve is CCW");
  EXPECT_EQ(p->row(kDeg).min, -1080.0f);
  EXPECT_EQ(p->row(kScale).code, PLUGIN_CODE_NUMBER_FLOAT);
  EXPECT_EQ(seqfx::row_label(p->row(6)), "Outside Colour");
  EXPECT_EQ(seqfx::row_tip(p->row(kStyle)),
            "0: solid colour 1: rectangular extend 2: radial extend 3: wrap");
  EXPECT_EQ(p->row(kCX).min, -1024.0f);
  EXPECT_EQ(seqfx::row_tip(p->row(kInterp)), "Interpolate (anti-alias) pixels");
  EXPECT_EQ(p->float_slot(kDeg), 360.0f);
  EXPECT_EQ(p->float_slot(kR), 0.5f);
  EXPECT_EQ(p->int_slot(kStyle), 1);
  EXPECT_EQ(p->int_slot(kAnimate), 1);
  EXPECT_EQ(p->int_slot(kSpiral), 1);
  EXPECT_EQ(p->int_slot(kCrossfade), 0);
  EXPECT_EQ(p->int_slot(kInterp), 1);
}

TEST_F(Spin, FactorZeroMapsEveryPixelOntoItself) {
  Image a = seqfx_test::test_picture(37, 23);
  Image out = render(a, 0.0f);
  int whole = 0;
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) {
      const Pixel o = at(out, x, y), s = at(a, x, y);
      ASSERT_TRUE(near(o, s)) << x << "," << y;
      // Either copied whole or interpolated (alpha 0).
      ASSERT_TRUE(o == s || o[3] == 0) << x << "," << y;
      whole += o == s;
    }
  EXPECT_GT(whole, 37 * 23 / 2);
}

TEST_F(Spin, PositiveAnglesTurnClockwise) {
  // 90 degrees: the output right of the centre shows what lies above it.
  still(90, 1, 1);
  p->set_value(kInterp, 0);
  Image a = seqfx_test::test_picture(37, 23);
  Image out = render(a);
  EXPECT_EQ(at(out, 23, 11), at(a, 18, 16));  // centre (18, 11)
  EXPECT_EQ(at(out, 18, 11), at(a, 18, 11));
}

TEST_F(Spin, SpiralTurnsByTheFullAngleAtHalfTheWidth) {
  p->set_value(kAnimate, 0);
  p->set_value(kDeg, 180);
  Image a = seqfx_test::test_picture(37, 37);
  Image out = render(a);
  // Centre (18, 18), half width 18: radius 18 turns by 180 degrees,
  // radius 9 by 90.
  EXPECT_EQ(at(out, 36, 18), at(a, 0, 18));
  EXPECT_TRUE(near(at(out, 27, 18), at(a, 18, 27)));
  p->set_value(kSpiral, 0);
  out = render(a);
  EXPECT_EQ(at(out, 36, 18), at(a, 0, 18));
  EXPECT_TRUE(near(at(out, 27, 18), at(a, 9, 18)));
}

TEST_F(Spin, ScaleTwoMagnifiesAboutTheShiftedCentre) {
  still(0, 2, 1);
  Image a = seqfx_test::test_picture(37, 23);
  Image out = render(a);
  EXPECT_EQ(at(out, 22, 11), at(a, 20, 11));
  EXPECT_EQ(at(out, 18, 19), at(a, 18, 15));
  // CX moves the centre: (10 + 18, 11) is the fixed point now.
  p->set_value(kCX, 10);
  out = render(a);
  EXPECT_EQ(at(out, 28, 11), at(a, 28, 11));
  EXPECT_EQ(at(out, 24, 11), at(a, 26, 11));
  // CX = 19 puts the centre just past the last column (cx = width).
  p->set_value(kCX, 19);
  out = render(a);
  EXPECT_EQ(at(out, 35, 11), at(a, 36, 11));
}

TEST_F(Spin, SolidOutsideColourTruncates) {
  still(0, 0.5f, 0);
  Image a = seqfx_test::test_picture(37, 23);
  Image out = render(a);
  EXPECT_EQ(at(out, 0, 0), (Pixel{127, 127, 127, 0}));
  EXPECT_EQ(at(out, 18, 11), at(a, 18, 11));
  EXPECT_EQ(at(out, 20, 11), at(a, 22, 11));
  p->set_value(kR, 1);
  p->set_value(kG, 1);
  p->set_value(kB, 1);
  EXPECT_EQ(at(render(a), 36, 22), (Pixel{255, 255, 255, 0}));
  // A product just under a whole number stays under it (single precision).
  p->set_value(kR, 0.3f);  // 0.3f * 255 = 76.49..
  p->set_value(kG, 0.1f);  // 25.5..
  p->set_value(kB, 0);
  EXPECT_EQ(at(render(a), 0, 22), (Pixel{76, 25, 0, 0}));
}

TEST_F(Spin, OutsideStyles) {
  Image a = seqfx_test::test_picture(21, 21);  // centre (10, 10)
  // Output (14, 0) has its source at about (18, -10).
  still(0, 0.5f, 1);
  EXPECT_TRUE(near(at(render(a), 14, 0), at(a, 18, 0)));
  EXPECT_EQ(at(render(a), 0, 0), at(a, 0, 0));
  // Radial: pulled back along the ray from the centre to (14, 0).
  style_slot(2);
  EXPECT_TRUE(near(at(render(a), 14, 0), at(a, 14, 0)));
  // Wrap: (-10, -10) becomes (11, 11): the shrunken picture repeats.
  style_slot(3);
  Image out = render(a);
  EXPECT_TRUE(near(at(out, 0, 0), at(a, 11, 11)));
  EXPECT_TRUE(near(at(out, 5, 5), at(a, 0, 0)));
  // Any other style extends the edges like style 1.
  style_slot(1);
  Image rect = render(a);
  for (int s : {4, -1, 1 << 30}) {
    style_slot(s);
    EXPECT_TRUE(seqfx_test::same_pixels(render(a), rect)) << s;
  }
}

TEST_F(Spin, CrossfadeRunsFromTheFirstStripToTheSecond) {
  p->set_value(kCrossfade, 1);
  p->set_value(kScale, 2);
  Image a = seqfx_test::test_picture(37, 23, 1), b = seqfx_test::test_picture(37, 23, 2);
  for (float f : {0.0f, 1.0f}) {
    Image out = render(a, f, &b);
    const Image &want = f == 0 ? a : b;
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) {
        ASSERT_TRUE(near(at(out, x, y), at(want, x, y))) << f << " " << x << "," << y;
        ASSERT_EQ(at(out, x, y)[3], 0);
      }
  }
}

TEST_F(Spin, CrossfadeBlendsInSinglePrecision) {
  still(0, 1, 1);
  p->set_value(kCrossfade, 1);
  p->set_value(kInterp, 0);
  // Find channel values and a factor where the float blend truncates to
  // another byte than the same blend in double precision.
  int fa = -1, fb = -1;
  float ff = 0;
  for (int x = 1; x < 255 && fa < 0; ++x)
    for (int b = x + 1; b < 256 && fa < 0; ++b)
      for (int k = 1; k < 10; ++k) {
        const float f = (float)k / 10.0f;
        if ((int)((float)x + (float)(b - x) * f) != (int)((double)x + (b - x) * (double)f)) {
          fa = x, fb = b, ff = f;
          break;
        }
      }
  ASSERT_GE(fa, 0);
  Image a = seqfx_test::solid(7, 5, {(unsigned char)fa, 9, 200, 255});
  Image b = seqfx_test::solid(7, 5, {(unsigned char)fb, 9, 100, 255});
  Image out = render(a, ff, &b);
  const int want = (int)((float)fa + (float)(fb - fa) * ff);
  EXPECT_EQ(at(out, 3, 2)[0], want) << fa << " " << fb << " " << ff;
  EXPECT_EQ(at(out, 3, 2)[1], 9);
  EXPECT_EQ(at(out, 3, 2)[3], 0);
  // Factors beyond 0..1 keep the low 8 bits of the truncated blend.
  Image c = seqfx_test::solid(7, 5, {0, 0, 0, 255}), d = seqfx_test::solid(7, 5, {200, 0, 0, 255});
  EXPECT_EQ(at(render(c, 2.0f, &d), 0, 0)[0], 400 - 256);
  EXPECT_EQ(at(render(c, -1.0f, &d), 0, 0)[0], 256 - 200);
  EXPECT_EQ(at(render(c, NAN, &d), 0, 0)[0], 0);
}

TEST_F(Spin, MissingStripsAreReported) {
  Image a = seqfx_test::test_picture(7, 5), out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  {
    seqfx_test::Console con;
    p->call(1, 0.5f, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
    con.finish();
    EXPECT_EQ(con.out(), "Not linked to a strip!\n");
  }
  p->set_value(kCrossfade, 1);
  Image no_rect(7, 5, false);
  for (ImageBuffer *b : {(ImageBuffer *)nullptr, no_rect.record()}) {
    seqfx_test::Console con;
    p->call(1, 0.5f, 0, 7, 5, a.record(), b, out.record(), nullptr);
    p->call(1, 0.5f, 0, 7, 5, b, a.record(), out.record(), nullptr);
    con.finish();
    EXPECT_EQ(con.out(), "Not linked to 2 strips!\nNot linked to 2 strips!\n");
  }
  EXPECT_EQ(at(out, 6, 4), (Pixel{1, 2, 3, 4}));
  // No pixels to make: nothing written, nothing said.
  p->set_value(kCrossfade, 0);
  seqfx_test::Console con;
  p->call(1, 0.5f, 0, 0, 5, a.record(), nullptr, out.record(), nullptr);
  p->call(1, 0.5f, 0, 7, 0, a.record(), nullptr, out.record(), nullptr);
  con.finish();
  EXPECT_EQ(con.out(), "");
  EXPECT_EQ(at(out, 0, 0), (Pixel{1, 2, 3, 4}));
}

// Every output pixel of a solid source is the source colour (up to
// interpolation rounding), the outside colour or, cross-faded, a blend of
// the two: nothing else is read.
TEST_F(Spin, DegenerateInputStaysInsideTheSource) {
  const Pixel colour{90, 160, 230, 255};
  p->set_value(kR, 0.2f);
  const Pixel outside{51, 127, 127, 0};
  for (auto [w, h] : {std::pair{1, 1}, {2, 1}, {1, 3}, {7, 5}, {37, 23}}) {
    Image a = seqfx_test::solid(w, h, colour), b = seqfx_test::solid(w, h, colour);
    for (float scale : {0.0f, 0.000001f, 0.001f, 10.0f})
      for (int style = 0; style < 4; ++style)
        for (int cx : {-1024, -w / 2, 0, w - w / 2, 1024})
          for (int mode = 0; mode < 4; ++mode) {
            p->set_value(kScale, scale);
            style_slot(style);
            p->set_value(kCX, cx);
            p->set_value(kCY, cx == 0 ? 0 : -h / 2);
            p->set_value(kAnimate, mode & 1);
            p->set_value(kCrossfade, mode >> 1);
            p->set_value(kDeg, mode == 2 ? -1080 : 1080);
            Image out = render(a, 0.8f, &b);
            for (int y = 0; y < h; ++y)
              for (int x = 0; x < w; ++x) {
                const Pixel o = at(out, x, y);
                bool between = style == 0 && (mode >> 1);  // a blend of the two
                for (int c = 0; c < 3; ++c)
                  between = between && o[c] + 1 >= std::min(colour[c], outside[c]) &&
                            o[c] <= std::max(colour[c], outside[c]) + 1;
                ASSERT_TRUE(near(o, colour) || (style == 0 && o == outside) || between)
                    << w << "x" << h << " scale " << scale << " style " << style << " cx "
                    << cx << " mode " << mode << " at " << x << "," << y << " "
                    << ::testing::PrintToString(o);
              }
          }
  }
}

TEST_F(Spin, ScaleZeroShrinksThePictureToNothing) {
  still(30, 0, 0);
  Image a = seqfx_test::test_picture(7, 5);
  Image out = render(a);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(at(out, x, y), (Pixel{127, 127, 127, 0}));
}

}  // namespace
