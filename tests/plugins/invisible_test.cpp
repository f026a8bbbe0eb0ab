// invisible: the difference region, the border test over the asymmetric
// window, the seeded random choice and the window average, checked against
// a direct scan of every window.

#include "seqfx_test.h"

#include <cstdlib>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kRadius = 1, kTol, kChance, kSeed };

struct Settings {
  int radius = 7;
  float tolerance = 10;
  int chance = 75;
  float seed = 0.1f;
};

// The effect as the direct method computes it: every window scanned
// column by column, every average summed pixel by pixel.
struct Direct {
  const Image &a, &b;
  Settings s;
  int w, h;

  bool inrange(int x, int y) const {
    const Pixel p = at(a, x, y), q = at(b, x, y);
    const int d = std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]);
    return (float)d > s.tolerance;
  }
  bool edge(int x, int y) const {
    if (!inrange(x, y)) return false;
    for (int i = std::max(x - s.radius, 0); i < std::min(x + s.radius, w); ++i)
      for (int j = std::max(y - s.radius, 0); j < std::min(y + s.radius, h); ++j)
        if (!inrange(i, j)) return true;
    return false;
  }
  int get_color(int k, int x, int y) const {
    long sum = 0, count = 0;
    for (int i = std::max(x - s.radius, 0); i < std::min(x + s.radius, w); ++i)
      for (int j = std::max(y - s.radius, 0); j < std::min(y + s.radius, h); ++j)
        sum += at(a, i, j)[k], ++count;
    return (int)(sum / count);
  }
  Image run() const {
    std::srand(s.seed >= 1 ? (unsigned)s.seed : 0u);
    Image out(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        Pixel px = at(a, x, y);
        if (edge(x, y) && (std::rand() % 32768) % 100 < s.chance)
          for (int k = 0; k < 4; ++k) px[k] = (unsigned char)get_color(k, x, y);
        for (int k = 0; k < 4; ++k) out.pixel(x, y)[k] = px[k];
      }
    return out;
  }
};

// A scene and the same scene with a ragged subject: a disc, a bar and a
// scatter of single pixels, some of them only slightly different.
Image with_subject(const Image &scene, unsigned seed) {
  const int w = scene.width(), h = scene.height();
  Image img(w, h);
  unsigned st = seed * 2654435761u + 7u;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      st = st * 1103515245u + 12345u;
      const Pixel s = at(scene, x, y);
      Pixel p = s;
      const int dx = x - w / 2, dy = y - h / 3;
      const bool disc = dx * dx + dy * dy < (w * w) / 16;
      const bool bar = x % 11 == 3 && y > h / 2;
      const unsigned noise = (st >> 16) & 63;
      if (disc || bar) {
        p = {(unsigned char)(255 - s[0]), (unsigned char)(s[1] ^ 0x40), s[2], (unsigned char)(s[3] ^ 1)};
      } else if (noise < 4) {
        p[noise % 3] = (unsigned char)(s[noise % 3] ^ (noise * 5));  // d of 0, 5, 10 or 15
      }
      for (int k = 0; k < 4; ++k) img.pixel(x, y)[k] = p[k];
    }
  return img;
}

class Invisible : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("invisible"); }
  void use(const Settings &s) {
    p->set_value(kRadius, s.radius);
    p->set_value(kTol, s.tolerance);
    p->set_value(kChance, s.chance);
    p->set_value(kSeed, s.seed);
  }
  // Renders and returns the generator's next draw, which tells whether the
  // module drew as many numbers as the direct method.
  int render(Image &a, Image &b, Image &out) {
    p->render(1, 0, 0, a, &b, out);
    return std::rand();
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Invisible, Table) {
  EXPECT_EQ(p->display_name(), "Invisible");
  ASSERT_EQ(p->row_count(), 5);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "In: 1 strip");
  EXPECT_EQ(p->row(kRadius).code, PLUGIN_CODE_NUMBER_INT);
  EXPECT_EQ(p->row(kRadius).max, 2000.0f);
  EXPECT_EQ(seqfx::row_tip(p->row(kRadius)), "EdgeZone");
  EXPECT_EQ(p->row(kTol).code, PLUGIN_CODE_NUMBER_FLOAT);
  EXPECT_EQ(p->row(kSeed).def, 0.1f);
  EXPECT_EQ(p->int_slot(kChance), 75);
}

TEST_F(Invisible, MatchesTheDirectScanByteForByteAndDrawForDraw) {
  const std::pair<int, int> sizes[] = {{1, 1}, {1, 9}, {9, 1}, {7, 5}, {37, 23}, {64, 48}};
  Settings cases[] = {{}, {1, 10, 100, 0}, {2, 0, 50, 1}, {3, 9.5f, 75, 0.5f},
                      {7, 254.5f, 100, 0}, {40, 4, 60, 0}, {2000, 10, 100, 1}, {5, 10, 0, 0}};
  for (auto [w, h] : sizes) {
    Image scene = seqfx_test::test_picture(w, h, 3);
    Image subject = with_subject(scene, (unsigned)(w * h));
    for (const Settings &s : cases) {
      use(s);
      Image out(w, h);
      const int next = render(subject, scene, out);
      const Direct direct{subject, scene, s, w, h};
      const Image want = direct.run();
      ASSERT_EQ(next, std::rand()) << w << "x" << h << " radius " << s.radius;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(at(out, x, y), at(want, x, y))
              << w << "x" << h << " radius " << s.radius << " tolerance " << s.tolerance
              << " chance " << s.chance << " at " << x << "," << y;
    }
  }
}

TEST_F(Invisible, IdenticalStripsGiveTheFirstAndDrawNothing) {
  Settings s;
  s.chance = 100;
  s.tolerance = 0;
  use(s);
  Image a = seqfx_test::test_picture(37, 23), b = seqfx_test::test_picture(37, 23);
  Image out(37, 23);
  const int next = render(a, b, out);
  EXPECT_TRUE(seqfx_test::same_pixels(out, a));
  std::srand(0);
  EXPECT_EQ(next, std::rand());
}

TEST_F(Invisible, CornerPixelAveragesItsClippedWindow) {
  // Only (0, 0) differs: with radius 7 it averages columns 0..6 and rows
  // 0..6 of the first strip, 49 pixels.
  Settings s;
  s.chance = 100;
  use(s);
  Image b = seqfx_test::painted(20, 20, [](int x, int y) {
    return Pixel{(unsigned char)(x * 10), (unsigned char)(y * 10), (unsigned char)(x + y), 200};
  });
  Image a = seqfx_test::painted(20, 20, [&](int x, int y) {
    return x == 0 && y == 0 ? Pixel{255, 255, 255, 255} : at(b, x, y);
  });
  Image out(20, 20);
  render(a, b, out);
  // Sums over the 7 x 7 block: red 10 x (0 + ... + 6) x 7 + 255 - 0 and so on.
  const int red = (10 * 21 * 7 + 255) / 49, green = (10 * 21 * 7 + 255) / 49,
            blue = (2 * 21 * 7 + 255) / 49, alpha = (200 * 48 + 255) / 49;
  EXPECT_EQ(at(out, 0, 0), (Pixel{(unsigned char)red, (unsigned char)green, (unsigned char)blue,
                                  (unsigned char)alpha}));
  EXPECT_EQ(at(out, 1, 0), at(a, 1, 0));
}

TEST_F(Invisible, WindowReachesOneMorePixelBelowTheCentre) {
  // A 9 x 9 block of difference in a 30 x 30 frame, radius 2. The block's
  // pixel at relative column 7 sees columns up to +1 only (still inside),
  // at column 1 it sees -2 (outside): the low side shows a two-pixel
  // border, the high side a one-pixel border.
  Settings s;
  s.radius = 2;
  s.chance = 100;
  use(s);
  Image b = seqfx_test::solid(30, 30, {0, 0, 0, 255});
  Image a = seqfx_test::painted(30, 30, [](int x, int y) {
    const bool in = x >= 10 && x < 19 && y >= 10 && y < 19;
    return in ? Pixel{200, 200, 200, 255} : Pixel{0, 0, 0, 255};
  });
  Image out(30, 30);
  render(a, b, out);
  auto blurred = [&](int x, int y) { return at(out, x, y) != at(a, x, y); };
  EXPECT_TRUE(blurred(10, 14));
  EXPECT_TRUE(blurred(11, 14));
  EXPECT_FALSE(blurred(12, 14));
  EXPECT_FALSE(blurred(17, 14));
  EXPECT_TRUE(blurred(18, 14));
  EXPECT_FALSE(blurred(14, 14));  // its whole window lies inside
  EXPECT_TRUE(blurred(14, 11));
  EXPECT_FALSE(blurred(14, 12));
  EXPECT_TRUE(blurred(14, 18));
  EXPECT_FALSE(blurred(14, 17));
}

TEST_F(Invisible, ToleranceIsStrict) {
  Settings s;
  s.chance = 100;
  s.radius = 1;
  use(s);
  // d = 10 exactly at one pixel; red, green and blue count, alpha does not.
  Image b = seqfx_test::solid(3, 3, {50, 50, 50, 0});
  Image a = seqfx_test::painted(3, 3, [](int x, int y) {
    return x == 1 && y == 1 ? Pixel{54, 47, 53, 255} : Pixel{50, 50, 50, 0};
  });
  Image out(3, 3);
  render(a, b, out);
  EXPECT_TRUE(seqfx_test::same_pixels(out, a));
  p->set_value(kTol, 9.5);
  render(a, b, out);
  // Radius 1: the window of (1, 1) is columns 0..1 and rows 0..1.
  EXPECT_EQ(at(out, 1, 1), (Pixel{(50 * 3 + 54) / 4, (50 * 3 + 47) / 4, (50 * 3 + 53) / 4, 255 / 4}));
}

TEST_F(Invisible, ChanceZeroStillDrawsForEveryBorderPixel) {
  Settings s;
  s.chance = 0;
  use(s);
  Image scene = seqfx_test::test_picture(37, 23, 2);
  Image subject = with_subject(scene, 5);
  Image out(37, 23);
  const int next = render(subject, scene, out);
  EXPECT_TRUE(seqfx_test::same_pixels(out, subject));
  Direct{subject, scene, s, 37, 23}.run();  // draws as the direct method does
  EXPECT_EQ(next, std::rand());
}

TEST_F(Invisible, MissingImagesAreNamedAndLeaveTheOutputAlone) {
  Image a = seqfx_test::test_picture(7, 5);
  Image small = seqfx_test::test_picture(3, 3);
  Image out = seqfx_test::solid(7, 5, {9, 9, 9, 9});
  seqfx_test::Console con;
  p->call(1, 0, 0, 7, 5, a.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, nullptr, a.record(), out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, a.record(), a.record(), nullptr, nullptr);
  p->call(1, 0, 0, 7, 5, a.record(), small.record(), out.record(), nullptr);
  con.finish();
  EXPECT_EQ(con.out(),
            "invisible: no ibuf2!\ninvisible: no ibuf1!\ninvisible: no output image!\n"
            "invisible: images smaller than the frame!\n");
  EXPECT_EQ(at(out, 6, 4), (Pixel{9, 9, 9, 9}));
}

}  // namespace
