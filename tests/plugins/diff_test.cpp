// diff: the red/green/alpha mask and the wrapping difference.

#include "seqfx_test.h"

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kTol = 1, kAbsolute };

class Diff : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("diff"); }
  Pixel one(Pixel a, Pixel b, Pixel c = {0, 0, 0, 0}) {
    Image ia = seqfx_test::solid(1, 1, a), ib = seqfx_test::solid(1, 1, b),
          ic = seqfx_test::solid(1, 1, c);
    Image out(1, 1);
    p->render(1, 0, 0, ia, &ib, out, &ic);
    return at(out, 0, 0);
  }
  std::unique_ptr<seqfx::Plugin> p;
};

const Pixel kWhite{255, 255, 255, 255}, kBlack{0, 0, 0, 0};

TEST_F(Diff, Table) {
  EXPECT_EQ(p->display_name(), "diff");
  ASSERT_EQ(p->row_count(), 3);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "Input: 3 strips");
  EXPECT_EQ(seqfx::row_tip(p->row(kAbsolute)), "Make a b/w mask");
  EXPECT_EQ(p->int_slot(kTol), 10);
}

TEST_F(Diff, MaskComparesRedGreenAndAlphaAgainstTheTolerance) {
  p->set_value(kAbsolute, 1);
  EXPECT_EQ(one({10, 10, 10, 255}, {15, 15, 200, 255}), kBlack);  // d = 10
  EXPECT_EQ(one({10, 10, 10, 255}, {16, 15, 200, 255}), kWhite);  // d = 11
  EXPECT_EQ(one({0, 0, 0, 255}, {0, 0, 255, 255}), kBlack);       // blue only
  EXPECT_EQ(one({0, 0, 0, 0}, {0, 0, 0, 11}), kWhite);            // alpha counts
  p->set_value(kTol, 255);
  EXPECT_EQ(one({0, 0, 9, 0}, {255, 0, 9, 0}), kBlack);
  EXPECT_EQ(one({0, 0, 9, 0}, {255, 1, 9, 0}), kWhite);
  p->set_value(kTol, 0);
  EXPECT_EQ(one({7, 7, 7, 7}, {7, 7, 0, 7}), kBlack);
  EXPECT_EQ(one({7, 7, 7, 7}, {7, 8, 7, 7}), kWhite);
}

TEST_F(Diff, DifferenceWrapsModulo256) {
  EXPECT_EQ(one({10, 30, 0, 255}, {30, 10, 0, 0}, {250, 5, 9, 0}), (Pixel{14, 241, 9, 1}));
  // Where the first two agree the third comes through, tolerance or not.
  EXPECT_EQ(one({1, 2, 3, 4}, {1, 2, 3, 4}, {200, 100, 50, 25}), (Pixel{200, 100, 50, 25}));
}

TEST_F(Diff, OnlyExactlyOneSelectsTheMask) {
  // A slot value of 2 (written by a host without range checks) is the
  // difference mode.
  *reinterpret_cast<int *>(p->slot(kAbsolute)) = 2;
  EXPECT_EQ(one({10, 0, 0, 0}, {0, 0, 0, 0}, {10, 0, 0, 0}), (Pixel{0, 0, 0, 0}));
}

TEST_F(Diff, MissingImagesAreNamedAndLeaveTheOutputAlone) {
  Image a = seqfx_test::test_picture(7, 5), b = seqfx_test::test_picture(7, 5, 2);
  Image out = seqfx_test::solid(7, 5, {9, 9, 9, 9});
  seqfx_test::Console con;
  p->call(1, 0, 0, 7, 5, a.record(), b.record(), out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, a.record(), nullptr, out.record(), a.record());
  p->call(1, 0, 0, 7, 5, nullptr, b.record(), out.record(), a.record());
  p->call(1, 0, 0, 7, 5, a.record(), b.record(), nullptr, a.record());
  con.finish();
  EXPECT_EQ(con.out(), "diff: no ibuf3!\ndiff: no ibuf2!\ndiff: no ibuf1!\ndiff: no output image!\n");
  EXPECT_EQ(at(out, 6, 4), (Pixel{9, 9, 9, 9}));
  // The mask needs no third strip.
  p->set_value(kAbsolute, 1);
  seqfx_test::Console con2;
  p->call(1, 0, 0, 7, 5, a.record(), a.record(), out.record(), nullptr);
  con2.finish();
  EXPECT_EQ(con2.out(), "");
  EXPECT_EQ(at(out, 6, 4), kBlack);
}

TEST_F(Diff, OddSizes) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image a = seqfx_test::test_picture(w, h, 1), b = seqfx_test::test_picture(w, h, 2),
          c = seqfx_test::test_picture(w, h, 3);
    Image out(w, h);
    p->render(1, 0, 0, a, &b, out, &c);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int k = 0; k < 4; ++k)
          ASSERT_EQ(at(out, x, y)[k], (at(c, x, y)[k] - at(a, x, y)[k] + at(b, x, y)[k]) & 255);
  }
}

}  // namespace
