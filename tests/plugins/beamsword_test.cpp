// beamsword: marking with the diagonal squares, the boosted aura, the two
// aura blurs with repeated edges, the flicker and the final core blur.

#include "beamsword_reference.h"
#include "seqfx_test.h"

#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kColour = 1, kExpand = 2, kAura = 3, kCore = 4, kQuality = 5, kFlicker = 7 };

class Beamsword : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("beamsword"); }
  void set(Pixel colour, int expand, double aura, double core, int quality, int flicker = 0) {
    p->set_colour(kColour, colour[0], colour[1], colour[2], colour[3]);
    p->set_value(kExpand, expand);
    p->set_value(kAura, aura);
    p->set_value(kCore, core);
    p->set_value(kQuality, quality);
    p->set_value(kFlicker, flicker);
  }
  Image render(const Image &src, float factor0 = 1) {
    Image out = seqfx_test::solid(src.width(), src.height(), {7, 7, 7, 7});
    Image in = seqfx_test::solid(src.width(), src.height(), {0, 0, 0, 0});
    std::memcpy(in.rect(), src.rect(), src.pixels() * 4);
    p->render(1, factor0, 0, in, nullptr, out);
    return out;
  }
  // The reference's result for the ParamBlock's values and the aura radius.
  Image expected(const Image &src, int aura) {
    Image e(src.width(), src.height());
    beamsword_reference::effect(src.rect(), e.rect(), src.width(), src.height(), p->slot(kColour),
                                p->int_slot(kExpand), aura, p->float_slot(kCore),
                                p->int_slot(kQuality));
    return e;
  }
  std::unique_ptr<seqfx::Plugin> p;
};

// A dark picture with a thin lit diagonal and a few stray dim pixels.
Image blade(int w, int h) {
  return seqfx_test::painted(w, h, [&](int x, int y) {
    if (x == y * w / (h > 1 ? h : 1)) return Pixel{240, 230, 200, 255};
    if ((x * 7 + y * 3) % 11 == 0) return Pixel{1, 2, 1, 128};
    if ((x + y) % 13 == 0) return Pixel{1, 1, 0, 9};
    return Pixel{0, 0, 0, 255};
  });
}

TEST_F(Beamsword, Table) {
  EXPECT_EQ(p->display_name(), "BeamBlade");
  ASSERT_EQ(p->row_count(), 8);
  const char *names[] = {"BeamBlade", "color", "Expand", "Blur Aura", "Blur Core",
                         "Blur Quality", nullptr, "Flicker"};
  const int codes[] = {0x1400, 0x1E20, 0x0A60, 0x0A80, 0x0A80, 0x0A60, 0x1400, 0x0660};
  const float def[] = {0, 0, 0, 10, 0.7f, 3, 0, 0}, lo[] = {0, 0, 0, 0, 0, 1, 0, 0},
              hi[] = {0, 255, 255, 20, 20, 5, 0, 1};
  const char *tips[] = {"In: 1 strip", "Color", "Artificially add pixels around edges",
                        "Amount of blur on aura", "Amount of blur on core",
                        "Accuracy of blur applied", "In: 1 strip", "Flicker aura"};
  for (int i = 0; i < 8; ++i) {
    if (names[i]) {
      EXPECT_EQ(seqfx::row_label(p->row(i)), names[i]);
    }
    EXPECT_EQ(p->row(i).code, codes[i]) << i;
    EXPECT_EQ(p->row(i).def, def[i]) << i;
    EXPECT_EQ(p->row(i).min, lo[i]) << i;
    EXPECT_EQ(p->row(i).max, hi[i]) << i;
    EXPECT_EQ(seqfx::row_tip(p->row(i)), tips[i]) << i;
  }
}

TEST_F(Beamsword, MarksPixelsWithAChannelAboveOne) {
  // No blur: the output is the input plus the boosted mark. (100, 50, 0)
  // becomes 100 * 1.5 * 150 / 255 = 88.2 and 44.1 where a pixel is lit.
  set({100, 50, 0, 0}, 0, 0, 0, 3);
  const Pixel pixels[] = {{0, 0, 0, 10}, {1, 1, 1, 20}, {2, 0, 0, 30}, {0, 0, 2, 40},
                          {255, 255, 255, 50}, {0, 1, 0, 60}};
  Image src = seqfx_test::painted(6, 1, [&](int x, int) { return pixels[x]; });
  Image out = render(src);
  EXPECT_EQ(at(out, 0, 0), (Pixel{0, 0, 0, 10}));
  EXPECT_EQ(at(out, 1, 0), (Pixel{1, 1, 1, 20}));
  EXPECT_EQ(at(out, 2, 0), (Pixel{90, 44, 0, 30}));
  EXPECT_EQ(at(out, 3, 0), (Pixel{88, 44, 2, 40}));
  EXPECT_EQ(at(out, 4, 0), (Pixel{255, 255, 255, 50}));
  EXPECT_EQ(at(out, 5, 0), (Pixel{0, 1, 0, 60}));
  // The boost saturates per channel: (255, 40, 20) gives 472 -> 255, 74, 37.
  set({255, 40, 20, 0}, 0, 0, 0, 3);
  EXPECT_EQ(at(render(src), 2, 0), (Pixel{255, 74, 37, 30}));
}

TEST_F(Beamsword, ExpandPaintsFourDiagonalSquaresAroundACross) {
  set({100, 50, 0, 0}, 3, 0, 0, 1);
  Image src = seqfx_test::painted(9, 9, [](int x, int y) {
    return (x == 4 && y == 4) || (x == 0 && y == 8) ? Pixel{9, 9, 9, 0} : Pixel{0, 0, 0, 0};
  });
  Image out = render(src);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) {
      const int dx = x - 4 < 0 ? 4 - x : x - 4, dy = y - 4 < 0 ? 4 - y : y - 4;
      const bool centre = dx == 0 && dy == 0, square = dx >= 1 && dx <= 2 && dy >= 1 && dy <= 2;
      // The corner source's squares are cut by the image: only (1..2, 6..7).
      const bool corner = (x == 0 && y == 8) || (x >= 1 && x <= 2 && y >= 6 && y <= 7);
      EXPECT_EQ(at(out, x, y)[0] != 0, centre || square || corner) << x << "," << y;
    }
  // Expand 0 and 1 mark the source alone.
  for (int e : {0, 1}) {
    p->set_value(kExpand, e);
    Image o = render(src);
    int lit = 0;
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 9; ++x) lit += at(o, x, y)[0] != 0;
    EXPECT_EQ(lit, 2) << e;
  }
}

TEST_F(Beamsword, BlackAuraLeavesTheCoreBlurOnly) {
  // The default colour marks in black: the picture is only blurred by Blur
  // Core, edges repeated. The normalised weights sum to a little less than
  // one in single precision, so some flat values lose one: 255 becomes 254
  // and 53 becomes 52 with the defaults, 54 and 100 stay.
  for (auto [v, want] : {std::pair{255, 254}, {53, 52}, {54, 54}, {100, 100}}) {
    Image src = seqfx_test::solid(37, 23, {(unsigned char)v, (unsigned char)v, 0, 77});
    Image out = render(src);
    EXPECT_TRUE(seqfx_test::same_pixels(
        out, seqfx_test::solid(37, 23, {(unsigned char)want, (unsigned char)want, 0, 77})))
        << v;
  }
  Image src = seqfx_test::test_picture(37, 23, 5);
  p->set_value(kCore, 20);
  p->set_value(kQuality, 5);
  Image want(37, 23);
  std::memcpy(want.rect(), src.rect(), src.pixels() * 4);
  beamsword_reference::blur(src.rect(), want.rect(), 37, 23, 20, 5);
  EXPECT_TRUE(seqfx_test::same_pixels(render(src), want));
  // Blur Core 0 leaves the picture as it is.
  p->set_value(kCore, 0);
  EXPECT_TRUE(seqfx_test::same_pixels(render(src), src));
}

TEST_F(Beamsword, FlickerScalesTheAuraByTheFactor) {
  Image src = blade(37, 23);
  set({255, 40, 20, 0}, 2, 10, 0.7, 3, 1);
  const Image at_half = render(src, 0.5f);
  EXPECT_TRUE(seqfx_test::same_pixels(at_half, expected(src, 5)));
  // Below one the radius truncates to 0: both aura blurs are skipped.
  EXPECT_TRUE(seqfx_test::same_pixels(render(src, 0.09f), expected(src, 0)));
  EXPECT_TRUE(seqfx_test::same_pixels(render(src, -3.0f), expected(src, 0)));
  // A factor far outside 0..1 is held at the largest radius of 100.
  EXPECT_TRUE(seqfx_test::same_pixels(render(src, 1e30f), expected(src, 100)));
  p->set_value(kFlicker, 0);
  p->set_value(kAura, 5);
  EXPECT_TRUE(seqfx_test::same_pixels(render(src, 0.0f), at_half));
}

TEST_F(Beamsword, MatchesTheReferenceOnEverySize) {
  struct Setting { Pixel colour; int expand; double aura, core; int quality; };
  const Setting settings[] = {{{255, 40, 20, 0}, 0, 10, 0.7, 3},
                              {{30, 200, 255, 0}, 4, 20, 20, 5},
                              {{255, 255, 255, 0}, 255, 1.5, 2.5, 1},
                              {{90, 0, 10, 0}, 2, 0.9, 0.3, 2}};
  const std::pair<int, int> sizes[] = {{1, 1}, {7, 5}, {37, 23}, {2, 40}, {70, 3}, {64, 40}};
  for (const Setting &s : settings) {
    set(s.colour, s.expand, s.aura, s.core, s.quality);
    for (auto [w, h] : sizes)
      for (int picture = 0; picture < 2; ++picture) {
        if (picture == 1 && s.expand == 255) continue;  // every pixel lit: too slow for the reference
        Image src = picture ? seqfx_test::test_picture(w, h, 9) : blade(w, h);
        ASSERT_TRUE(seqfx_test::same_pixels(render(src), expected(src, (int)s.aura)))
            << w << "x" << h << " expand " << s.expand << " aura " << s.aura;
      }
  }
}

TEST_F(Beamsword, LargeFrameMatchesTheReference) {
  // Large enough for the boost to be tabulated.
  Image src = blade(256, 200);
  set({200, 120, 255, 0}, 3, 2, 0.7, 2);
  EXPECT_TRUE(seqfx_test::same_pixels(render(src), expected(src, 2)));
}

TEST_F(Beamsword, AnOddPixelOnAFlatGroundReachesExactlyItsWindow) {
  // Flat windows are summed once per value; one odd pixel, moved along a
  // row and up a column, must still reach every pixel whose window holds it.
  for (int marked = 0; marked < 2; ++marked) {
    set(marked ? Pixel{200, 90, 30, 0} : Pixel{0, 0, 0, 0}, 0, marked ? 2 : 0, 3, 3);
    for (int along = 0; along < 2; ++along)
      for (int at = 0; at < 80; ++at) {
        const int w = along ? 80 : 3, h = along ? 3 : 80;
        Image src = seqfx_test::painted(w, h, [&](int x, int y) {
          const bool here = along ? (x == at && y == 1) : (y == at && x == 1);
          if (marked) return here ? Pixel{250, 250, 250, 255} : Pixel{0, 0, 0, 255};
          return here ? Pixel{200, 7, 90, 255} : Pixel{60, 60, 60, 255};
        });
        ASSERT_TRUE(seqfx_test::same_pixels(render(src), expected(src, marked ? 2 : 0)))
            << (marked ? "marked " : "core only ") << (along ? "column " : "row ") << at;
      }
  }
}

TEST_F(Beamsword, OutputThatIsTheInputGetsTheSameResult) {
  // The input is read again after the auras are built: they must not be
  // built in it.
  for (double aura : {0.0, 3.0}) {
    set({255, 40, 20, 0}, 2, aura, 0.7, 3);
    Image src = blade(61, 37);
    Image same = blade(61, 37);
    p->call(1, 1, 0, 61, 37, same.record(), nullptr, same.record(), nullptr);
    EXPECT_TRUE(seqfx_test::same_pixels(same, expected(src, (int)aura))) << aura;
  }
}

TEST_F(Beamsword, MissingImagesLeaveTheOutputAlone) {
  Image src = seqfx_test::test_picture(7, 5);
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  p->call(1, 1, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  Image none(7, 5, false);
  p->call(1, 1, 0, 7, 5, none.record(), nullptr, out.record(), nullptr);
  p->call(1, 1, 0, 7, 5, src.record(), nullptr, none.record(), nullptr);
  p->call(1, 1, 0, 7, 0, src.record(), nullptr, out.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, seqfx_test::solid(7, 5, {1, 2, 3, 4})));
}

}  // namespace
