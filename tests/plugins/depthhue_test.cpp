// depthhue: hue from depth between Front and Back, saturation and value
// kept, Auto Range with its write-back, Non-linear with its Exponent.

#include "seqfx_test.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

constexpr int kFront = 1, kBack = 2;

// One row of the given pixels and depths.
Image row(const std::vector<Pixel> &px, const std::vector<int> &z) {
  Image img((int)px.size(), 1);
  int *d = img.add_zbuf();
  for (size_t i = 0; i < px.size(); ++i) {
    std::memcpy(img.pixel((int)i, 0), px[i].data(), 4);
    d[i] = z[i];
  }
  return img;
}

// The colour of one pixel step by step as the conversions define it: the
// full rgb2hsv (hue included) and hsv2rgb with p, q and t.
Pixel reference(Pixel in, int z, float front, float back, bool non_linear, float exponent) {
  const float r = (float)(in[0] / 255.0), g = (float)(in[1] / 255.0), b = (float)(in[2] / 255.0);
  const float max = std::max({r, g, b}), min = std::min({r, g, b});
  const float v = max, s = max != 0.0f ? (max - min) / max : 0.0f;
  const double d = (float)z / 2147483648.0f;
  double u = 1.0 / (double)(back - front) * d + (double)(front / (front - back));
  u = u < 0.0 ? 0.0 : u > 1.0 ? 1.0 : u;
  if (non_linear && u > 0.0) u = std::exp((double)exponent * std::log(u));
  float h = (float)(u * 240.0);
  float out[3] = {v, v, v};
  if (s != 0.0f) {
    if (h == 360.0f) h = 0.0f;
    const float hh = (float)((double)h / 60.0);
    const int i = (int)hh;
    const float f = hh - (float)i;
    const float pp = v * (1.0f - s), q = v * (1.0f - s * f), t = v * (1.0f - s * (1.0f - f));
    const float rows[6][3] = {{v, t, pp}, {q, v, pp}, {pp, v, t}, {pp, q, v}, {t, pp, v}, {v, pp, q}};
    for (int c = 0; c < 3; ++c) out[c] = rows[i][c];
  }
  Pixel px = in;
  for (int c = 0; c < 3; ++c) px[c] = (unsigned char)(int)(out[c] * 255.0f);
  return px;
}

class Depthhue : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("depthhue"); }
  void manual(double front, double back) {
    p->set_value("Auto Range", 0);
    p->set_value("Front", front);
    p->set_value("Back", back);
  }
  Pixel one(Pixel px, int z) {
    Image in = row({px}, {z});
    Image out(1, 1);
    p->render(1, 0, 0, in, nullptr, out);
    return at(out, 0, 0);
  }
  void raw(int row, float v) { std::memcpy(p->slot(row), &v, 4); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Depthhue, Table) {
  EXPECT_EQ(p->display_name(), "DepthHue");
  ASSERT_EQ(p->row_count(), 6);
  const char *labels[6] = {"Input: 1 strip", "Front ", "Back ", "Auto Range", "Non-linear", "Exponent "};
  const char *tips[6] = {"", "Distance to Red", "Distance to Blue", "Auto ranging", "Toggle Non-Linear",
                         "Non-linear Power"};
  const int codes[6] = {0x1400, 0x1C80, 0x1C80, 0x0660, 0x0660, 0x1C80};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(seqfx::row_label(p->row(i)), labels[i]);
    EXPECT_EQ(seqfx::row_tip(p->row(i)), tips[i]);
    EXPECT_EQ(p->row(i).code, codes[i]);
  }
  EXPECT_EQ(p->float_slot(kFront), -1.0f);
  EXPECT_EQ(p->float_slot(kBack), 1.0f);
  EXPECT_EQ(p->int_slot(3), 1);
  EXPECT_EQ(p->float_slot(5), 1.0f);
  EXPECT_EQ(p->row(5).min, 0.25f);
  EXPECT_EQ(p->row(5).max, 2.0f);
}

TEST_F(Depthhue, RedAtFrontGreenHalfwayBlueAtAndBeyondBack) {
  manual(-0.5, 0.5);
  const Pixel red{255, 0, 0, 77};
  EXPECT_EQ(one(red, -1073741824), (Pixel{255, 0, 0, 77}));  // d = -0.5
  EXPECT_EQ(one(red, INT_MIN), (Pixel{255, 0, 0, 77}));      // in front: clamped
  EXPECT_EQ(one(red, 0), (Pixel{0, 255, 0, 77}));            // 120 degrees
  EXPECT_EQ(one(red, 1073741824), (Pixel{0, 0, 255, 77}));   // 240 degrees
  EXPECT_EQ(one(red, INT_MAX), (Pixel{0, 0, 255, 77}));
  // Saturation and value are kept: (200, 100, 50) has v 200, s 0.75.
  EXPECT_EQ(one({200, 100, 50, 1}, 1073741824), (Pixel{50, 50, 200, 1}));
  EXPECT_EQ(one({50, 200, 100, 1}, -1073741824), (Pixel{200, 50, 50, 1}));
}

TEST_F(Depthhue, GreyWhiteAndBlackStayAsTheyAre) {
  manual(-1, 1);
  for (int v : {0, 1, 127, 128, 254, 255})
    for (int z : {INT_MIN, 0, 123456789}) {
      const Pixel g{(unsigned char)v, (unsigned char)v, (unsigned char)v, 200};
      EXPECT_EQ(one(g, z), g) << v << " " << z;
    }
}

// Pixels whose bytes depend on the precision of each step: computed the
// other way (in parentheses) the marked byte comes out one off.
TEST_F(Depthhue, PrecisionOfEachStepDecidesTheseBytes) {
  // A = 1 / (Back - Front) divides in double (single: 37).
  manual(0.946, -0.147);
  EXPECT_EQ(one({33, 141, 44, 255}, 2009786134), (Pixel{141, 36, 32, 255}));
  manual(-0.819, 0.23);  // (168)
  EXPECT_EQ(one({176, 222, 5, 255}, -1333161736), (Pixel{222, 169, 4, 255}));
  // B = Front / (Front - Back) in single precision (double: 84, 149).
  manual(-0.203, 0.838);
  EXPECT_EQ(one({124, 238, 26, 255}, 526287983), (Pixel{85, 238, 25, 255}));
  manual(0.683, 0.169);
  EXPECT_EQ(one({193, 225, 92, 255}, 483264606), (Pixel{91, 150, 225, 255}));
  // The depth fraction is a single-precision quotient (double: 91, 167).
  manual(-1, 1);
  EXPECT_EQ(one({16, 174, 133, 255}, 1637795819), (Pixel{15, 90, 174, 255}));
  EXPECT_EQ(one({120, 199, 138, 255}, 1495083577), (Pixel{120, 168, 199, 255}));
  // The hue u x 240 is rounded to single before it is divided by 60
  // (unrounded: 143, 213).
  EXPECT_EQ(one({45, 149, 132, 255}, 1022119582), (Pixel{44, 149, 144, 255}));
  EXPECT_EQ(one({230, 144, 253, 255}, -689558836), (Pixel{214, 253, 144, 255}));
}

TEST_F(Depthhue, EveryPixelAsTheConversionsGiveIt) {
  std::mt19937 rng(11);
  // Groups of four and eight pixels with tails, and one-wide and one-high.
  for (auto [w, h] : {std::pair{37, 23}, {1, 19}, {19, 1}}) {
    Image in = seqfx_test::test_picture(w, h, 5);
    int *z = in.add_zbuf();
    for (size_t i = 0; i < in.pixels(); ++i) {
      unsigned char *px = in.rect() + 4 * i;
      for (int c = 0; c < 3; ++c) px[c] = (unsigned char)(rng() % 256);
      z[i] = i % 3 ? (int)rng() : z[i > 0 ? i - 1 : 0];  // repeated depths too
    }
    const struct {
      float front, back;
      bool non_linear;
      float exponent;
    } cases[] = {{-1, 1, false, 1}, {0.3f, -0.6f, false, 1}, {-0.9f, 0.2f, true, 2},
                 {-0.5f, 0.7f, true, 0.25f}, {-1, 1, true, 1.37f}};
    for (const auto &k : cases) {
      manual(k.front, k.back);
      p->set_value("Non-linear", k.non_linear);
      p->set_value("Exponent", k.exponent);
      Image out(w, h);
      p->render(1, 0, 0, in, nullptr, out);
      for (size_t i = 0; i < in.pixels(); ++i) {
        const int x = (int)(i % w), y = (int)(i / w);
        ASSERT_EQ(at(out, x, y), reference(at(in, x, y), z[i], k.front, k.back, k.non_linear, k.exponent))
            << w << "x" << h << " at " << x << "," << y << " front " << k.front << " back " << k.back;
      }
    }
  }
}

TEST_F(Depthhue, NonLinearRaisesThePosition) {
  manual(-1, 1);
  const Pixel red{255, 0, 0, 255};
  EXPECT_EQ(one(red, 0), (Pixel{0, 255, 0, 255}));
  p->set_value("Non-linear", 1);
  p->set_value("Exponent", 2);
  EXPECT_EQ(one(red, 0), (Pixel{255, 255, 0, 255}));  // hue 60 instead of 120
  p->set_value("Exponent", 0.5);
  // u = sqrt(0.5): hue 169.7, sector 2 at f = 0.828 of the way to blue.
  EXPECT_EQ(one(red, 0), (Pixel{0, 255, 211, 255}));
  EXPECT_EQ(one(red, INT_MIN), red);  // u = 0 is left at 0
  // Exponents beyond the slider cannot push the hue past blue or make it
  // undefined.
  raw(5, -3.0f);
  EXPECT_EQ(one(red, 0), (Pixel{0, 0, 255, 255}));
  raw(5, NAN);
  EXPECT_EQ(one(red, 0), red);
  raw(5, INFINITY);
  EXPECT_EQ(one(red, 0), red);
}

TEST_F(Depthhue, AutoRangeWritesFrontAndBack) {
  const Pixel c{10, 200, 40, 255};
  Image in = row({c, c, c}, {-1073741824, 0, 536870912});
  Image out(3, 1);
  p->render(1, 0, 0, in, nullptr, out);
  EXPECT_EQ(p->float_slot(kFront), -0.5f);
  EXPECT_EQ(p->float_slot(kBack), 0.25f);
  EXPECT_EQ(at(out, 0, 0), (Pixel{200, 10, 10, 255}));  // red end
  EXPECT_EQ(at(out, 2, 0), (Pixel{10, 10, 200, 255}));  // blue end

  // The whole range: the largest depth is 1 as a single-precision fraction.
  Image full = row({c, c}, {INT_MIN, INT_MAX});
  Image out2(2, 1);
  p->render(1, 0, 0, full, nullptr, out2);
  EXPECT_EQ(p->float_slot(kFront), -1.0f);
  EXPECT_EQ(p->float_slot(kBack), 1.0f);

  // Off: the slots are the user's and stay as they are.
  manual(0.125, 0.75);
  p->render(1, 0, 0, full, nullptr, out2);
  EXPECT_EQ(p->float_slot(kFront), 0.125f);
  EXPECT_EQ(p->float_slot(kBack), 0.75f);
}

TEST_F(Depthhue, FrontEqualToBackIsAStepNeverANumberless) {
  // Auto Range on a frame of one depth: every pixel lies at Front, red.
  const Pixel c{0, 0, 255, 9};
  Image in = row({c, c}, {5000, 5000});
  Image out(2, 1);
  p->render(1, 0, 0, in, nullptr, out);
  EXPECT_EQ(p->float_slot(kFront), p->float_slot(kBack));
  EXPECT_EQ(at(out, 0, 0), (Pixel{255, 0, 0, 9}));
  // By hand: at or in front of the depth red, behind it blue.
  manual(0, 0);
  EXPECT_EQ(one(c, 0), (Pixel{255, 0, 0, 9}));
  EXPECT_EQ(one(c, -7), (Pixel{255, 0, 0, 9}));
  EXPECT_EQ(one(c, 1000), (Pixel{0, 0, 255, 9}));
  // Slots that are not numbers or infinite still give defined bytes.
  for (float f : {NAN, INFINITY, -INFINITY, 3e38f})
    for (float b : {NAN, INFINITY, -3e38f, 0.5f}) {
      raw(kFront, f);
      raw(kBack, b);
      const Pixel got = one({200, 100, 50, 3}, 12345);
      EXPECT_EQ(got[3], 3);
      EXPECT_EQ(std::max({got[0], got[1], got[2]}), 200) << f << " " << b;
      EXPECT_EQ(std::min({got[0], got[1], got[2]}), 50) << f << " " << b;
    }
}

TEST_F(Depthhue, MissingInputOrDepth) {
  const Pixel mark{1, 2, 3, 4};
  Image out = seqfx_test::solid(2, 2, mark);
  Image flat = seqfx_test::solid(2, 2, {9, 8, 7, 6});
  {
    seqfx_test::Console con;
    p->call(1, 0, 0, 2, 2, nullptr, nullptr, out.record(), nullptr);
    p->call(1, 0, 0, 2, 2, flat.record(), nullptr, out.record(), nullptr);
    con.finish();
    EXPECT_EQ(con.out(), "no zbuf\n");
  }
  EXPECT_EQ(at(out, 1, 1), mark);
  EXPECT_EQ(p->float_slot(kFront), -1.0f);
}

TEST_F(Depthhue, SizesAliasesAndSmallerImages) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image in = seqfx_test::test_picture(w, h);
    int *z = in.add_zbuf();
    for (size_t i = 0; i < in.pixels(); ++i) z[i] = (int)(i * 2654435761u);
    Image out(w, h);
    p->render(1, 0, 0, in, nullptr, out);
    // out is the input itself: the same picture.
    Image copy = seqfx_test::test_picture(w, h);
    copy.add_zbuf();
    std::memcpy(copy.zbuf(), z, in.pixels() * 4);
    p->call(1, 0, 0, w, h, copy.record(), nullptr, copy.record(), nullptr);
    EXPECT_TRUE(seqfx_test::same_pixels(out, copy)) << w << "x" << h;
    // An output smaller than the input is filled as far as it goes.
    Image small(1, 1);
    p->call(1, 0, 0, 4000, 4000, in.record(), nullptr, small.record(), nullptr);
    EXPECT_EQ(at(small, 0, 0), at(out, 0, 0));
  }
}

}  // namespace
