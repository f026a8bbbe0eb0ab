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
        unsigned char *d = out.pixel(x0, y);
        d[0] = d[1] = d[2] = black ? 0 : (s[0] + s[1] + s[2]) / 3;
      }
    return out;
  }
};

class Filmwear : public ::testing::Test {
 protected:
  // A private copy: the scratch starts where a freshly loaded module has it.
  void SetUp() override { p = seqfx_test::load("filmwear", true); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Filmwear, TableGreyAndTheScratchElevenFromTheRight) {
  EXPECT_EQ(p->display_name(), "Filmwear");
  EXPECT_EQ(seqfx::row_tip(p->row(1)), "Average proportion \"broken\" pixels");
  EXPECT_EQ(p->float_slot(1), 0.1f);
  p->set_value("Area dirty", 0);
  Image src = seqfx_test::painted(37, 23, [](int x, int) {
    return x % 2 ? Pixel{30, 60, 90, 255} : Pixel{1, 1, 0, 255};
  });
  Image out(37, 23);
  p->render(1, 0, 0, src, nullptr, out);
  for (int y : {0, 22}) {
    EXPECT_EQ(at(out, 25, y), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(at(out, 27, y), (Pixel{60, 60, 60, 0}));
    EXPECT_EQ(at(out, 0, y), (Pixel{0, 0, 0, 0}));
  }
}

TEST_F(Filmwear, DrawsInTheirOrderFrameAfterFrame) {
  // The first frame is narrower than the scratch's distance from the right
  // edge: it lands on column 0 at once. Then wider frames, with dirt; a
  // missing input still moves the scratch.
  Image narrow = seqfx_test::test_picture(7, 5, 3), wide = seqfx_test::test_picture(37, 23, 4);
  const float levels[] = {0.3f, 0.3f, 1.0f, 0.05f, 0.3f, 0.0f, 0.5f};
  std::vector<Image> want;
  Model m;
  std::srand(20261208);
  for (int i = 0; i < 7; ++i) {
    if (i == 4) m.step(37);
    want.push_back(m.frame(i == 0 ? narrow : wide, (int)(levels[i] * 32767)));
  }
  EXPECT_EQ(at(want[0], 0, 4), (Pixel{0, 0, 0, 0}));

  std::srand(20261208);
  for (int i = 0; i < 7; ++i) {
    Image &src = i == 0 ? narrow : wide;
    Image out = seqfx_test::solid(src.width(), src.height(), {1, 2, 3, 4});
    p->set_value("Area dirty", levels[i]);
    if (i == 4) {
      seqfx_test::Console con;
      p->call(1, 0, 0, 37, 23, nullptr, nullptr, out.record(), nullptr);
      con.finish();
      EXPECT_EQ(con.out(), "Not linked to a buffer!\n");
      EXPECT_EQ(at(out, 0, 0), (Pixel{1, 2, 3, 4}));
    }
    p->render(1, 0, 0, src, nullptr, out);
    EXPECT_TRUE(seqfx_test::same_pixels(out, want[i])) << "frame " << i;
  }
}

TEST_F(Filmwear, SlotExtremesOddFramesAndSizes) {
  Image src = seqfx_test::solid(37, 23, {200, 200, 200, 255}), out(37, 23);
  auto black = [&] {
    int n = 0;
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) n += at(out, x, y)[0] == 0;
    return n;
  };
  // Not a number and values below 0 give no dirt, values above 1 the most.
  for (float v : {std::nanf(""), -1.0f, -INFINITY, 1.0f, 5.0f, INFINITY}) {
    std::memcpy(p->slot(1), &v, 4);
    p->render(1, 0, 0, src, nullptr, out);
    if (v >= 1) EXPECT_GE(black(), 37 * 23 - 3) << v;
    else EXPECT_EQ(black(), 23) << v;
  }
  // A frame larger than its images, a negative width, in place; 1x1.
  Image small = seqfx_test::solid(7, 5, {3, 3, 3, 3});
  p->call(1, 0, 0, 4000, 4000, src.record(), nullptr, small.record(), nullptr);
  p->call(1, 0, 0, -5, 9, src.record(), nullptr, small.record(), nullptr);
  p->call(1, 0, 0, 7, 5, small.record(), nullptr, small.record(), nullptr);
  EXPECT_EQ(at(small, 0, 0)[3], 0);
  Image one = seqfx_test::solid(1, 1, {9, 9, 9, 9}), o(1, 1);
  p->render(1, 0, 0, one, nullptr, o);
  EXPECT_EQ(at(o, 0, 0), (Pixel{0, 0, 0, 0}));  // the scratch's only column
}

// Random pictures of odd sizes, frame after frame, against the model: the
// draws of a row come before its bytes, and the four-pixel grey equals the
// one-pixel division.
TEST_F(Filmwear, RandomFramesOfOddSizesMatchTheModel) {
  const int sizes[][2] = {{1, 9}, {9, 1}, {5, 3}, {4, 4}, {67, 2}, {13, 11}};
  std::vector<Image> pictures;
  for (const auto &size : sizes)
    pictures.push_back(seqfx_test::test_picture(size[0], size[1], (unsigned)pictures.size() + 7));
  std::vector<Image> want;
  Model m;
  std::srand(42);
  for (int round = 0; round < 3; ++round)
    for (const Image &src : pictures) want.push_back(m.frame(src, 9830));
  std::srand(42);
  p->set_value("Area dirty", 0.3f);
  std::size_t k = 0;
  for (int round = 0; round < 3; ++round)
    for (Image &src : pictures) {
      Image out(src.width(), src.height());
      p->render(1, 0, 0, src, nullptr, out);
      EXPECT_TRUE(seqfx_test::same_pixels(out, want[k])) << src.width() << "x" << src.height();
      ++k;
    }
}

}  // namespace
