// anaglyph: the worked cases, every setting against the arithmetic on many
// colours, the swap, alpha, limits and the missing-strip frame.

#include "transition_support.h"

#include "../../plugins/sequence/anaglyph/brightness_curve.h"

#include <cmath>
#include <cstring>
#include <random>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

const Pixel kWhite{255, 255, 255, 255}, kBlack{0, 0, 0, 255};

struct Setting {
  int reverse = 0;
  float br_bal = 0, r_gam = 1, g_gam = 1, g_bal = 0;
};

// One output pixel from a left and a right pixel, step by step.
Pixel model(const Setting &s, Pixel l, Pixel r) {
  const float rs = (float)(s.br_bal < 0 ? 1.0 + s.br_bal : 1.0);
  const int rmax = (int)(float)(rs * 255.0);
  const float gs = (float)(s.br_bal > 0 ? 1.0 - s.br_bal : 1.0);
  const float gfull = (float)(gs * 255.0);
  const int gshare = (int)(gfull * (1.0 - s.g_bal));
  const int bshare = (int)(s.g_bal * gfull);
  auto y = [](Pixel p) { return (float)(0.00117 * p[0] + 0.0023 * p[1] + 0.000447 * p[2]); };
  const float a = (float)std::pow((double)y(l), (double)s.r_gam);
  const float b = (float)std::pow((double)y(r), (double)s.g_gam);
  return Pixel{(unsigned char)(int)(a * (float)rmax), (unsigned char)(int)(b * (float)gshare),
               (unsigned char)(int)(b * (float)bshare), std::max(l[3], r[3])};
}

class Anaglyph : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("anaglyph"); }
  void use(const Setting &s) {
    p->set_value("Rev R/L", s.reverse);
    p->set_value("Br Bal", s.br_bal);
    p->set_value("R Gam", s.r_gam);
    p->set_value("G Gam", s.g_gam);
    p->set_value("G Bal", s.g_bal);
  }
  Pixel one(Pixel a, Pixel b) {
    Image ia = seqfx_test::solid(1, 1, a), ib = seqfx_test::solid(1, 1, b), out(1, 1);
    p->render(1, 0, 0, ia, &ib, out);
    return at(out, 0, 0);
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Anaglyph, TableAndNames) {
  EXPECT_EQ(p->display_name(), "Anaglyph 1.0");
  ASSERT_EQ(p->row_count(), 6);
  const char *labels[] = {"Input: 2 strips", "Rev R/L ", "Br Bal ", "R Gam ", "G Gam ", "G Bal "};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(seqfx::row_label(p->row(i)), labels[i]);
  EXPECT_EQ(p->row(2).min, -0.5f);
  EXPECT_EQ(p->row(3).min, 0.5f);
  EXPECT_EQ(seqfx::row_tip(p->row(5)), "Adjust green balance");
  EXPECT_NE(p->symbol("g_name"), nullptr);
  EXPECT_NE(p->symbol("g_cfra"), nullptr);
  EXPECT_EQ(p->symbol("name"), nullptr);
  EXPECT_EQ(p->symbol("cfra"), nullptr);
}

TEST_F(Anaglyph, WorkedCases) {
  EXPECT_EQ(one(kWhite, kBlack), (Pixel{254, 0, 0, 255}));
  EXPECT_EQ(one(kBlack, kWhite), (Pixel{0, 254, 0, 255}));
  p->set_value("G Bal", 1);
  EXPECT_EQ(one(kBlack, kWhite), (Pixel{0, 0, 254, 255}));
  p->set_value("G Bal", 0);
  p->set_value("Br Bal", 0.5);  // Gfull 127.5: (int)(0.998835 * 127) = 126
  EXPECT_EQ(one(kWhite, kWhite), (Pixel{254, 126, 0, 255}));
  p->set_value("Br Bal", -0.5);  // Rmax 127
  EXPECT_EQ(one(kWhite, kWhite), (Pixel{126, 254, 0, 255}));
  p->set_value("Br Bal", 0);
  p->set_value("Rev R/L", 1);
  EXPECT_EQ(one(kWhite, kBlack), (Pixel{0, 254, 0, 255}));
  // Alpha is the larger of the two.
  EXPECT_EQ(one({0, 0, 0, 17}, {0, 0, 0, 200})[3], 200);
  EXPECT_EQ(one({0, 0, 0, 201}, {0, 0, 0, 3})[3], 201);
}

// Every setting against the arithmetic, on every grey and many colours.
TEST_F(Anaglyph, EverySettingMatchesTheArithmetic) {
  const int w = 256, h = 130;
  std::mt19937 rng(7);
  Image left(w, h), right(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (Image *img : {&left, &right}) {
        unsigned char *d = img->pixel(x, y);
        for (int c = 0; c < 4; ++c) d[c] = (unsigned char)(y < 2 ? x : rng());
        if (y == 1 && img == &right) d[0] = d[1] = d[2] = (unsigned char)(255 - x);
      }
  const Setting settings[] = {
      {}, {1, 0, 1, 1, 0}, {0, 0.5f, 0.5f, 2, 0.3f}, {1, -0.5f, 2, 0.5f, 1},
      {0, -0.123f, 0.77f, 1.31f, 0.618f}, {0, 0.31f, 1.9f, 0.55f, 0.05f}, {1, 0.01f, 1.001f, 0.999f, 0.5f},
  };
  for (const Setting &s : settings) {
    use(s);
    Image out(w, h);
    p->render(1, 0, 0, left, &right, out);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const Pixel l = at(s.reverse ? right : left, x, y), r = at(s.reverse ? left : right, x, y);
        ASSERT_EQ(at(out, x, y), model(s, l, r))
            << "at " << x << "," << y << " gammas " << s.r_gam << "/" << s.g_gam << " bal " << s.br_bal;
      }
  }
}

// The module looks brightness up by a whole-number key: for every colour
// the key must give the float the double-precision sum gives, and the curve
// must give for every key the byte the full computation gives.
TEST(AnaglyphKey, EveryColourAndEveryKey) {
  for (int r = 0; r < 256; ++r)
    for (int g = 0; g < 256; ++g)
      for (int b = 0; b < 256; ++b) {
        const unsigned char px[3] = {(unsigned char)r, (unsigned char)g, (unsigned char)b};
        const float sum = (float)(0.00117 * r + 0.0023 * g + 0.000447 * b);
        const float by_key = anaglyph::brightness_of_key(anaglyph::brightness_key(px));
        if (sum != by_key) FAIL() << r << "," << g << "," << b << ": " << sum << " vs " << by_key;
      }
  struct Curve { float gamma; int scale; };
  for (Curve c : {Curve{1, 255}, Curve{0.5f, 255}, Curve{2, 127}, Curve{0.77f, 200}, Curve{1.31f, 3}, Curve{1, 0}}) {
    const anaglyph::BrightnessCurve curve(c.gamma, c.scale);
    for (int key = 0; key <= anaglyph::kTopKey; ++key)
      if (curve(key) != curve.exact(key)) FAIL() << "gamma " << c.gamma << " key " << key;
  }
}

TEST_F(Anaglyph, SlotsBeyondTheSlidersAreLimited) {
  const float nan = std::nanf(""), big = 1e30f;
  for (int row : {2, 3, 4, 5}) std::memcpy(p->slot(row), &nan, 4);
  EXPECT_EQ(one(kWhite, kWhite), (Pixel{254, 254, 0, 255}));  // defaults
  for (int row : {2, 3, 4, 5}) std::memcpy(p->slot(row), &big, 4);
  // Br Bal 0.5, gammas 2, G Bal 1.
  Setting s{0, 0.5f, 2, 2, 1};
  const Pixel grey{128, 128, 128, 255};
  EXPECT_EQ(one(grey, grey), model(s, grey, grey));
  const float low = -1e30f;
  for (int row : {2, 3, 4, 5}) std::memcpy(p->slot(row), &low, 4);
  s = Setting{0, -0.5f, 0.5f, 0.5f, 0};
  EXPECT_EQ(one(grey, grey), model(s, grey, grey));
}

TEST_F(Anaglyph, MissingStripPaintsRedAndSaysSo) {
  Image a = seqfx_test::solid(7, 5, kWhite), out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  seqfx_test::Console con;
  p->call(1, 0, 0, 7, 5, a.record(), nullptr, out.record(), nullptr);
  con.finish();
  EXPECT_EQ(con.out(), "Error: second buffer missing !\n");
  EXPECT_TRUE(seqfx_test::same_pixels(out, seqfx_test::solid(7, 5, {255, 0, 0, 255})));
  // No pixels to paint: the message all the same.
  Image untouched = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  seqfx_test::Console con2;
  p->call(1, 0, 0, 0, 5, a.record(), nullptr, untouched.record(), nullptr);
  p->call(1, 0, 0, 7, 5, nullptr, a.record(), untouched.record(), nullptr);
  con2.finish();
  EXPECT_EQ(con2.out(), "Error: second buffer missing !\nError: first buffer missing !\n");
  EXPECT_EQ(at(untouched, 6, 4), (Pixel{255, 0, 0, 255}));
}

TEST_F(Anaglyph, OneWideAndOneHighFramesMatchTheArithmetic) {
  // Lengths on either side of a group of four pixels, curved settings.
  const Setting s = {0, 0.31f, 1.9f, 0.55f, 0.05f};
  use(s);
  for (auto [w, h] : {std::pair{1, 9}, {9, 1}, {3, 3}, {1, 4}}) {
    Image a = seqfx_test::test_picture(w, h, 11), b = seqfx_test::test_picture(w, h, 12);
    Image out(w, h);
    p->render(1, 0, 0, a, &b, out);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(at(out, x, y), model(s, at(a, x, y), at(b, x, y))) << w << "x" << h << " at " << x << "," << y;
  }
}

TEST_F(Anaglyph, SizesGuardsAndAliasing) {
  for (int n : {1, 7, 37}) {
    Image a = transition::strip(1, n, n == 1 ? 1 : 5), b = transition::strip(2, n, n == 1 ? 1 : 5);
    Image out(n, n == 1 ? 1 : 5);
    p->render(1, 0, 0, a, &b, out);
    EXPECT_EQ(at(out, n - 1, 0), model({}, at(a, n - 1, 0), at(b, n - 1, 0)));
  }
  transition::check_guards(*p, 0, false);
  transition::check_aliasing(*p, 37, 23, 0);
  // A frame larger than an image stops at what the images hold.
  Image a = seqfx_test::solid(7, 5, kWhite), b = seqfx_test::solid(3, 2, kBlack);
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  p->call(1, 0, 0, 7, 5, a.record(), b.record(), out.record(), nullptr);
  EXPECT_EQ(at(out, 5, 0), (Pixel{254, 0, 0, 255}));
  EXPECT_EQ(at(out, 6, 0), (Pixel{1, 2, 3, 4}));
}

}  // namespace
