// filmwear: grey picture, dirt drawn per pixel and the wandering scratch,
// against a model that makes the same draws in the same order.

#include "seqfx_test.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

int draw() { return std::rand() % 32768; }

// The scratch and the pixels as the effect must produce them.
struct Model {
  int x = 10, move = 1;
  void step(int width) {
    x += move;
    if (x < 0) x = 0, move = draw() % 4 + 1;
    if (x >= width) x = width - 1, move = -(draw() % 4 + 1);
    if (draw() >= 16384) ++move;
    if (draw() >= 16384) --move;
    move = move > 10 ? 10 : move < -10 ? -10 : move;
    if (draw() > 30000) move = draw() >= 16384 ? -(draw() % 4 + 1) : draw() % 4 + 1;
  }
  Image frame(const Image &src, int threshold) {
    step(src.width());
    Image out(src.width(), src.height());
    for (int y = 0; y < src.height(); ++y)
      for (int x0 = 0; x0 < src.width(); ++x0) {
        const unsigned char *s = src.pixel(x0, y);
        const bool black = src.width() - 1 - x0 == x || draw() < threshold;
        const unsigned char g = black ? 0 : (s[0] + s[1] + s[2]) / 3;
        unsigned char *d = out.pixel(x0, y);
        d[0] = d[1] = d[2] = g;
        d[3] = 0;
      }
    return out;
  }
};

class Filmwear : public ::testing::Test {
 protected:
  // A private copy: the scratch starts where a freshly loaded module has it.
  void SetUp() override {
    p = seqfx_test::load("filmwear", true);
    dirty = p->find_row("Area dirty");
  }
  void raw_dirty(float v) { std::memcpy(p->slot(dirty), &v, 4); }
  std::unique_ptr<seqfx::Plugin> p;
  int dirty = -1;
};

TEST_F(Filmwear, Table) {
  EXPECT_EQ(p->display_name(), "Filmwear");
  ASSERT_EQ(p->row_count(), 2);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "In: 1 Strip");
  EXPECT_EQ(p->row(1).code, PLUGIN_CODE_SLIDER_FLOAT);
  EXPECT_EQ(seqfx::row_tip(p->row(1)), "Average proportion \"broken\" pixels");
  EXPECT_EQ(p->float_slot(1), 0.1f);
  EXPECT_EQ(p->symbol("name"), nullptr);
}

TEST_F(Filmwear, GreyWithAlphaZeroAndTheScratchElevenFromTheRight) {
  p->set_value(dirty, 0);
  Image src = seqfx_test::painted(37, 23, [](int x, int) {
    return x % 2 ? Pixel{30, 60, 90, 255} : Pixel{1, 1, 0, 255};
  });
  Image out(37, 23);
  p->render(1, 0, 0, src, nullptr, out);
  for (int y : {0, 22}) {
    EXPECT_EQ(at(out, 25, y), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(at(out, 27, y), (Pixel{60, 60, 60, 0}));
    EXPECT_EQ(at(out, 23, y), (Pixel{60, 60, 60, 0}));
    EXPECT_EQ(at(out, 0, y), (Pixel{0, 0, 0, 0}));
  }
}

TEST_F(Filmwear, DrawsInTheirOrderFrameAfterFrame) {
  // The first frame is narrower than the scratch's distance from the right
  // edge: it lands on column 0 at once. Then wider frames, with dirt.
  Image narrow = seqfx_test::test_picture(7, 5, 3);
  Image wide = seqfx_test::test_picture(37, 23, 4);
  Model m;
  std::srand(20261208);
  std::vector<Image> want;
  const float levels[] = {0.3f, 0.3f, 1.0f, 0.05f, 0.3f, 0.0f, 0.5f, 0.3f};
  for (int i = 0; i < 8; ++i)
    want.push_back(m.frame(i == 0 ? narrow : wide, (int)(levels[i] * 32767)));
  EXPECT_EQ(at(want[0], 0, 4), (Pixel{0, 0, 0, 0}));

  std::srand(20261208);
  for (int i = 0; i < 8; ++i) {
    Image &src = i == 0 ? narrow : wide;
    Image out(src.width(), src.height());
    p->set_value(dirty, levels[i]);
    p->render(1, 0, 0, src, nullptr, out);
    EXPECT_TRUE(seqfx_test::same_pixels(out, want[i])) << "frame " << i;
  }
}

TEST_F(Filmwear, MissingInputPrintsLeavesOutputAndStillMovesTheScratch) {
  p->set_value(dirty, 0);
  Image src = seqfx_test::solid(37, 3, {90, 90, 90, 255});
  Image out = seqfx_test::solid(37, 3, {1, 2, 3, 4});
  std::srand(5);
  seqfx_test::Console con;
  p->call(1, 0, 0, 37, 3, nullptr, nullptr, out.record(), nullptr);
  Image none(37, 3, false);
  p->call(1, 0, 0, 37, 3, none.record(), nullptr, out.record(), nullptr);
  con.finish();
  EXPECT_EQ(con.out(), "Not linked to a buffer!\nNot linked to a buffer!\n");
  EXPECT_EQ(at(out, 0, 0), (Pixel{1, 2, 3, 4}));
  // Both calls moved the scratch before this frame's move.
  std::srand(5);
  Model m2;
  m2.step(37);
  m2.step(37);
  Image want2 = m2.frame(src, 0);
  p->render(1, 0, 0, src, nullptr, out);
  EXPECT_TRUE(seqfx_test::same_pixels(out, want2));
}

TEST_F(Filmwear, DirtSlotExtremes) {
  Image src = seqfx_test::solid(37, 23, {200, 200, 200, 255});
  Image out(37, 23);
  auto black_count = [&] {
    int n = 0;
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) n += at(out, x, y)[0] == 0;
    return n;
  };
  for (float v : {std::nanf(""), -1.0f, -INFINITY}) {
    raw_dirty(v);
    p->render(1, 0, 0, src, nullptr, out);
    EXPECT_EQ(black_count(), 23) << v;  // the scratch column only
  }
  for (float v : {1.0f, 5.0f, INFINITY, 3e38f}) {
    raw_dirty(v);
    p->render(1, 0, 0, src, nullptr, out);
    EXPECT_GE(black_count(), 37 * 23 - 3) << v;
  }
}

TEST_F(Filmwear, FrameLargerThanItsImagesAndOddSizes) {
  Image src = seqfx_test::solid(7, 5, {3, 3, 3, 3});
  Image out(7, 5);
  p->call(1, 0, 0, 4000, 4000, src.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, -5, 9, src.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, src.record(), nullptr, src.record(), nullptr);
  EXPECT_EQ(at(src, 0, 0)[3], 0);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image s = seqfx_test::solid(w, h, {9, 9, 9, 9});
    Image o(w, h);
    p->set_value(dirty, 0);
    p->render(1, 0, 0, s, nullptr, o);
    EXPECT_EQ(at(o, 0, h - 1)[3], 0);
  }
}

}  // namespace
