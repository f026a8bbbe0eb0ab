// truncate: the kept brightness range between the pivot and factor0.

#include "seqfx_test.h"

#include <cmath>
#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

const Pixel kBlack{0, 0, 0, 255};

class Truncate : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("truncate"); }
  Pixel one(Pixel in, float factor0) {
    Image src = seqfx_test::solid(1, 1, in);
    Image out(1, 1);
    p->render(1, factor0, 0, src, nullptr, out);
    return at(out, 0, 0);
  }
  // A pixel whose channels sum to s (alpha 9): its average is s div 3.
  static Pixel sum(int s) {
    const int r = s > 255 ? 255 : s, g = s - r > 255 ? 255 : s - r;
    return {(unsigned char)r, (unsigned char)g, (unsigned char)(s - r - g), 9};
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Truncate, Table) {
  EXPECT_EQ(p->display_name(), "trucate");
  ASSERT_EQ(p->row_count(), 5);
  const char *note[4] = {"Note:", "In addition to", "pivot use the", "IPO for a range"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(p->row(i).code, PLUGIN_CODE_LABEL);
    EXPECT_EQ(seqfx::row_label(p->row(i)), note[i]);
  }
  const int kPivot = p->find_row("tpivot");
  EXPECT_EQ(kPivot, 4);  // the table's layout is part of the interface
  EXPECT_EQ(seqfx::row_label(p->row(kPivot)), "tpivot ");
  EXPECT_EQ(seqfx::row_tip(p->row(kPivot)), "Trucation range pivot point.");
  EXPECT_EQ(p->float_slot(kPivot), 0.0f);
}

TEST_F(Truncate, KeepsTheRangeInEitherOrder) {
  // lo 51, hi 204; the average is an integer division.
  for (double pivot : {0.2, 0.8}) {
    p->set_value("tpivot", pivot);
    const float f = pivot < 0.5 ? 0.8f : 0.2f;
    EXPECT_EQ(one(sum(153), f), sum(153)) << pivot;
    EXPECT_EQ(one(sum(152), f), kBlack) << pivot;
    EXPECT_EQ(one(sum(150), f), kBlack) << pivot;
    EXPECT_EQ(one(sum(614), f), sum(614)) << pivot;  // 204.67
    EXPECT_EQ(one(sum(615), f), kBlack) << pivot;
  }
}

TEST_F(Truncate, BothEndsZeroKeepOnlyBlack) {
  EXPECT_EQ(one({1, 1, 0, 3}, 0), (Pixel{1, 1, 0, 3}));
  EXPECT_EQ(one({1, 1, 1, 3}, 0), kBlack);
  EXPECT_EQ(one({255, 255, 255, 0}, 0), kBlack);
}

TEST_F(Truncate, FactorIsLimitedAndNotANumberIsZero) {
  p->set_value("tpivot", 0.5);  // lo 127
  EXPECT_EQ(one({255, 255, 255, 0}, 1.7f), (Pixel{255, 255, 255, 0}));
  EXPECT_EQ(one({0, 0, 0, 0}, -4.0f), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(one({0, 0, 0, 0}, std::nanf("")), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(one({255, 255, 255, 0}, std::nanf("")), kBlack);
  const float nan = std::nanf("");
  std::memcpy(p->slot(p->find_row("tpivot")), &nan, 4);
  EXPECT_EQ(one({0, 0, 2, 0}, 0), (Pixel{0, 0, 2, 0}));
}

TEST_F(Truncate, PixelsCountedFromTheInputImageAndOddSizes) {
  Image src = seqfx_test::test_picture(7, 5);
  Image out(7, 5);
  p->call(1, 0.5f, 0, 1, 1, src.record(), nullptr, out.record(), nullptr);
  const Pixel s = at(src, 6, 4);
  EXPECT_EQ(at(out, 6, 4), (s[0] + s[1] + s[2]) / 3 <= 127 ? s : kBlack);
  Image out2(7, 5);
  p->call(1, 0.5f, 0, 4000, 4000, src.record(), nullptr, out2.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, out2));

  Image untouched = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  p->call(1, 0.5f, 0, 7, 5, nullptr, nullptr, untouched.record(), nullptr);
  EXPECT_EQ(at(untouched, 0, 0), (Pixel{1, 2, 3, 4}));

  p->set_value("tpivot", 1);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image in = seqfx_test::solid(w, h, {255, 255, 254, 1});
    Image o(w, h);
    p->render(1, 1, 0, in, nullptr, o);
    EXPECT_EQ(at(o, w - 1, h - 1), kBlack);  // average 254 outside 255 .. 255
    p->render(1, 0.99f, 0, in, nullptr, o);
    EXPECT_EQ(at(o, w - 1, h - 1), (Pixel{255, 255, 254, 1}));  // 252 .. 255
  }
}

}  // namespace

// A frame of every brightness, with a tail outside blocks of four, against
// the rule: kept when pivot end <= (R + G + B) / 3 <= factor end.
TEST(TruncateFrame, EveryPixelFollowsTheRule) {
  auto p = seqfx_test::load("truncate");
  p->set_value("tpivot", 0.3);
  const int w = 263, h = 5;
  seqfx::Image in = seqfx_test::test_picture(w, h, 7);
  seqfx::Image out(w, h);
  p->render(1, 0.7f, 0, in, nullptr, out);
  const int lo = (int)(0.3f * 255), hi = (int)(0.7f * 255);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned char *s = in.pixel(x, y), *d = out.pixel(x, y);
      const int m = (s[0] + s[1] + s[2]) / 3;
      const bool keep = m >= lo && m <= hi;
      for (int c = 0; c < 4; ++c)
        ASSERT_EQ(d[c], keep ? s[c] : (c == 3 ? 255 : 0)) << x << "," << y;
    }
}
