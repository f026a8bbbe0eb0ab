// stereogram: dot rows drawn from the generator, rows built from the depth
// with fast mode and interpolation, hint spots, the depth view and the
// messages. The module draws from the same generator as this process, so
// the tests seed it and draw the expected dots themselves.

#include "seqfx_test.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

const Pixel kClear{0, 0, 0, 0}, kWhite{255, 255, 255, 255};

int draw() { return std::rand() % 32768 % 255; }

// h rows of p dots as the module draws them.
std::vector<Pixel> dots(int p, int h) {
  std::vector<Pixel> d((size_t)p * h);
  for (Pixel &px : d) {
    px[0] = (unsigned char)draw();
    px[1] = (unsigned char)draw();
    px[2] = (unsigned char)draw();
    px[3] = 0;
  }
  return d;
}

// The picture the rows make, for patterns whose separations are at least
// two pixels (every entry read is already computed).
std::vector<Pixel> model(const std::vector<int> &z, int w, int h, int p, float low, float high,
                         bool fast, bool interpolate) {
  const std::vector<Pixel> d = dots(p, h);
  std::vector<Pixel> out((size_t)w * h);
  std::vector<double> e((size_t)p + w);
  for (int k = 0; k < p; ++k) e[k] = -p + k;
  const double dd = high - low;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double f = (z[(size_t)y * w + x] + 2147483648.0) / 4294967295.0;
      const double s = p * (high - dd * f);
      const int k = (int)std::floor(s);
      const double t = s - k;
      e[p + x] = fast ? e[p + x - k] + p : e[p + x - k] + (e[p + x - k + 1] - e[p + x - k]) * t + p;
    }
    for (int x = 0; x < w; ++x) {
      const double c = e[p + x];
      int i = (int)std::floor(c);
      while (i < 0) i += p;
      while (i >= p) i -= p;
      const Pixel a = d[(size_t)y * p + i], b = d[(size_t)y * p + (i + 1) % p];
      Pixel px = a;
      if (interpolate)
        for (int ch = 0; ch < 3; ++ch)
          px[ch] = (unsigned char)(int)(a[ch] + (b[ch] - a[ch]) * (c - std::floor(c)));
      out[(size_t)y * w + x] = px;
    }
  }
  return out;
}

Image with_depth(int w, int h, const std::vector<int> &z) {
  Image img = seqfx_test::test_picture(w, h);
  int *d = img.add_zbuf();
  for (size_t i = 0; i < img.pixels(); ++i) d[i] = z[i % z.size()];
  return img;
}

std::vector<int> random_depths(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<int> z(n);
  for (int &v : z) v = (int)rng();
  return z;
}

class Stereogram : public ::testing::Test {
 protected:
  void SetUp() override {
    p = seqfx_test::load("stereogram");
    p->set_value("Hint spots", 0);
  }
  std::string run(Image *in, Image &out, int w, int h) {
    seqfx_test::Console con;
    p->call(1, 0, 0, w, h, in ? in->record() : nullptr, nullptr, out.record(), nullptr);
    con.finish();
    return con.out();
  }
  void render(Image &in, Image &out) { run(&in, out, out.width(), out.height()); }
  void raw(int row, const void *v) { std::memcpy(p->slot(row), v, 4); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Stereogram, Table) {
  EXPECT_EQ(p->display_name(), "Stereogram");
  EXPECT_EQ(p->symbol("name"), nullptr);
  ASSERT_EQ(p->row_count(), 10);
  const char *labels[10] = {"In: 1 Strip", "Width", "Low", "High", "Fast mode", "Interpolate",
                            "Hint spots", "Hint size", "Same pattern", "Show ZBuf"};
  const int codes[10] = {0x1400, 0x0A60, 0x1C80, 0x1C80, 0x0660, 0x0660, 0x0660, 0x0A60, 0x0660, 0x0660};
  const float defs[10] = {0, 64, 1, 0.8f, 0, 0, 1, 8, 0, 0};
  const float mins[10] = {0, 0, 0.5f, 0.5f, 0, 0, 0, 1, 0, 0};
  const float maxs[10] = {0, 1024, 1, 1, 1, 1, 1, 1024, 1, 1};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(seqfx::row_label(p->row(i)), labels[i]);
    EXPECT_EQ(p->row(i).code, codes[i]) << i;
    EXPECT_EQ(p->row(i).def, defs[i]) << i;
    EXPECT_EQ(p->row(i).min, mins[i]) << i;
    EXPECT_EQ(p->row(i).max, maxs[i]) << i;
  }
  EXPECT_EQ(seqfx::row_tip(p->row(5)), "Is supposed to increase quality of pic (but doesn't yet)");
  EXPECT_EQ(seqfx::row_tip(p->row(6)), "Adds dots to the bottom of image to assist with focus");
}

TEST_F(Stereogram, EqualFactorsRepeatEachRowsDotsWithThePatternWidth) {
  // Low = High = 1: every depth separates by P; pixel x shows dot x mod P
  // of its row's dots, drawn red, green, blue, alpha 0.
  p->set_value("Width", 5);
  p->set_value("High", 1);
  p->set_value("Same pattern", 1);
  Image in = with_depth(37, 23, random_depths(37 * 23, 1));
  Image out(37, 23);
  render(in, out);
  std::srand(0);
  const std::vector<Pixel> d = dots(5, 23);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) ASSERT_EQ(at(out, x, y), d[(size_t)y * 5 + x % 5]) << x << "," << y;
}

TEST_F(Stereogram, ConstantDepthRepeatsWithItsSeparation) {
  p->set_value("Width", 10);
  p->set_value("Fast mode", 1);
  // Nearest: P x High = 8 pixels; farthest: P x Low = 10 pixels.
  for (auto [z, period] : {std::pair{INT_MIN, 8}, {INT_MAX, 10}}) {
    Image in = with_depth(37, 3, {z});
    Image out(37, 3);
    render(in, out);
    for (int y = 0; y < 3; ++y)
      for (int x = period; x < 37; ++x) EXPECT_EQ(at(out, x, y), at(out, x - period, y)) << z;
    EXPECT_NE(at(out, 0, 0), at(out, 1, 0));
  }
}

TEST_F(Stereogram, RowsFollowTheDepthInEveryMode) {
  p->set_value("Width", 6);
  p->set_value("Low", 0.55);
  p->set_value("High", 0.95);
  p->set_value("Same pattern", 1);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}})
    for (int fast : {0, 1})
      for (int interp : {0, 1}) {
        p->set_value("Fast mode", fast);
        p->set_value("Interpolate", interp);
        const std::vector<int> z = random_depths((size_t)w * h, 3);
        Image in = with_depth(w, h, z);
        Image out(w, h);
        render(in, out);
        std::srand(0);
        const std::vector<Pixel> want = model(z, w, h, 6, 0.55f, 0.95f, fast, interp);
        for (int i = 0; i < w * h; ++i)
          ASSERT_EQ(at(out, i % w, i / w), want[i]) << w << "x" << h << " fast " << fast
                                                    << " interp " << interp << " pixel " << i;
      }
}

TEST_F(Stereogram, TheGeneratorCarriesFromFrameToFrameUnlessReseeded) {
  p->set_value("Width", 4);
  p->set_value("High", 1);
  Image in = with_depth(7, 5, {0});
  Image a(7, 5), b(7, 5);
  std::srand(42);
  render(in, a);
  render(in, b);
  std::srand(42);
  const std::vector<Pixel> first = dots(4, 5), second = dots(4, 5);
  EXPECT_EQ(at(a, 5, 4), first[4 * 4 + 1]);
  EXPECT_EQ(at(b, 5, 4), second[4 * 4 + 1]);
  EXPECT_FALSE(seqfx_test::same_pixels(a, b));

  p->set_value("Same pattern", 1);
  render(in, a);
  render(in, b);
  EXPECT_TRUE(seqfx_test::same_pixels(a, b));

  // A frame that fails still draws its pattern: 3 x 4 x 5 values.
  p->set_value("Same pattern", 0);
  Image flat(7, 5);
  std::srand(9);
  for (int i = 0; i < 60; ++i) std::rand();
  const int next = std::rand();
  std::srand(9);
  run(&flat, a, 7, 5);
  EXPECT_EQ(std::rand(), next);
  std::srand(9);
  run(nullptr, a, 7, 5);
  EXPECT_EQ(std::rand(), next);
}

TEST_F(Stereogram, MessagesAndNoOutputWithoutInputOrDepth) {
  Image flat = seqfx_test::solid(3, 2, {1, 2, 3, 4});
  Image out = seqfx_test::solid(3, 2, {5, 6, 7, 8});
  EXPECT_EQ(run(nullptr, out, 3, 2), "Not linked to a buffer!\n");
  EXPECT_EQ(run(&flat, out, 3, 2), "No zBuffer!\nMust link to a scene or IRIZ picture\n");
  EXPECT_EQ(at(out, 2, 1), (Pixel{5, 6, 7, 8}));
}

TEST_F(Stereogram, HintSpotsOverTheBottomRows) {
  p->set_value("Width", 8);
  p->set_value("Hint spots", 1);
  p->set_value("Hint size", 3);
  Image in = with_depth(37, 23, random_depths(37 * 23, 5));
  Image out(37, 23);
  for (int show : {0, 1}) {
    p->set_value("Show ZBuf", show);
    render(in, out);
    // x0 = 37/2 - 8/2 - 3/2 = 13; the second spot 8 further on.
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 37; ++x) {
        const bool spot = (x >= 13 && x < 16) || (x >= 21 && x < 24);
        EXPECT_EQ(at(out, x, y), spot ? kWhite : kClear) << x << "," << y << " show " << show;
      }
    EXPECT_EQ(at(out, 14, 3)[3], 0);
  }
  // Spots and rows reaching past the frame are cut off.
  p->set_value("Hint size", 30);  // x0 = -1: both spots cover the row
  render(in, out);
  for (int y = 0; y < 23; ++y) EXPECT_EQ(at(out, 0, y), kWhite);
  EXPECT_EQ(at(out, 36, 22), kWhite);
  p->set_value("Hint size", 1024);
  render(in, out);
  EXPECT_EQ(at(out, 36, 22), kWhite);
}

TEST_F(Stereogram, ShowZBufGreysTheDepthNearestWhite) {
  p->set_value("Show ZBuf", 1);
  Image in = with_depth(6, 1, {INT_MIN, INT_MAX, 0, -1, -2147483648 + 16777215, 16777216});
  Image out(6, 1);
  render(in, out);
  const int want[6] = {255, 0, 127, 128, 255, 126};
  for (int x = 0; x < 6; ++x) {
    const unsigned char g = (unsigned char)want[x];
    EXPECT_EQ(at(out, x, 0), (Pixel{g, g, g, 0})) << x;
  }
}

TEST_F(Stereogram, PatternWidthZeroGivesTransparentBlackAndDrawsNothing) {
  p->set_value("Width", 0);
  p->set_value("Hint spots", 1);
  p->set_value("Hint size", 2);
  Image in = with_depth(7, 5, random_depths(35, 2));
  Image out = seqfx_test::solid(7, 5, {9, 9, 9, 9});
  std::srand(3);
  const int first = std::rand();
  std::srand(3);
  render(in, out);
  EXPECT_EQ(std::rand(), first);
  // Both spots start at x0 = 3 - 0 - 1 = 2.
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(at(out, x, y), y < 2 && (x == 2 || x == 3) ? kWhite : kClear) << x << "," << y;
}

// Separations below two pixels (P of 1 to 3): an entry not yet computed for
// the row reads as the pixel to the left, so the result is defined and the
// same whatever the output held before.
TEST_F(Stereogram, NarrowPatternsReadNothingUncomputed) {
  p->set_value("Same pattern", 1);
  p->set_value("Low", 0.5);
  p->set_value("High", 0.5);
  Image in = with_depth(37, 23, random_depths(37 * 23, 4));
  for (int width : {1, 2, 3}) {
    p->set_value("Width", width);
    // P 1: only dot 0; P 2 (separation 1): c = 1, 3, 5...; P 3 (1.5): c = 2, 5, 8...
    const int dot = width - 1;
    for (int interp : {0, 1}) {
      p->set_value("Interpolate", interp);
      Image out = seqfx_test::solid(37, 23, {7, 7, 7, 7});
      render(in, out);
      std::srand(0);
      const std::vector<Pixel> d = dots(width, 23);
      for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
          ASSERT_EQ(at(out, x, y), d[(size_t)y * width + dot]) << width << " " << x << "," << y;
    }
  }
  // Low and High apart: the separation varies, the output still does not
  // depend on what out held.
  p->set_value("High", 1);
  p->set_value("Width", 2);
  Image a = seqfx_test::solid(37, 23, {1, 1, 1, 1}), b = seqfx_test::solid(37, 23, {250, 0, 9, 3});
  render(in, a);
  render(in, b);
  EXPECT_TRUE(seqfx_test::same_pixels(a, b));
}

TEST_F(Stereogram, SlotValuesBeyondTheTableStayInsideIt) {
  p->set_value("Same pattern", 1);
  Image in = with_depth(37, 23, random_depths(37 * 23, 6));
  Image want(37, 23), got(37, 23);
  // Pattern widths past 1024 act as 1024, below 0 as 0.
  p->set_value("Width", 1024);
  render(in, want);
  int v = 5000;
  raw(1, &v);
  render(in, got);
  EXPECT_TRUE(seqfx_test::same_pixels(want, got));
  v = INT_MIN;
  raw(1, &v);
  render(in, got);
  EXPECT_EQ(at(got, 20, 20), kClear);
  // Factors outside 0.5..1 are limited to it; not a number counts as 0.5.
  p->set_value("Width", 9);
  p->set_value("Low", 0.5);
  p->set_value("High", 1);
  render(in, want);
  const float big = 1e30f, nan = NAN, minus_inf = -INFINITY;
  raw(2, &nan);
  raw(3, &big);
  render(in, got);
  EXPECT_TRUE(seqfx_test::same_pixels(want, got));
  raw(2, &minus_inf);
  render(in, got);
  EXPECT_TRUE(seqfx_test::same_pixels(want, got));
  // Hint sizes of any value.
  p->set_value("Hint spots", 1);
  for (int size : {INT_MAX, INT_MIN, -1, 0}) {
    raw(7, &size);
    render(in, got);
  }
  EXPECT_EQ(at(got, 0, 0)[3], 0);
}

TEST_F(Stereogram, FramesLargerThanTheImagesAndAliases) {
  p->set_value("Same pattern", 1);
  Image in = with_depth(7, 5, random_depths(35, 8));
  Image want(7, 5);
  render(in, want);
  // A frame far larger than the images: nothing is written past them.
  Image small(1, 1);
  run(&in, small, 30000, 30000);
  EXPECT_EQ(at(small, 0, 0)[3], 0);
  Image big(7, 5);
  Image tiny_depth = with_depth(1, 1, {0});
  run(&tiny_depth, big, 7, 5);
  run(&in, big, -7, 5);
  // out is the input itself: the depth plane is read, the pixels written.
  Image self = with_depth(7, 5, {0});
  std::memcpy(self.zbuf(), in.zbuf(), 35 * 4);
  render(self, self);
  EXPECT_TRUE(seqfx_test::same_pixels(self, want));
}

}  // namespace
