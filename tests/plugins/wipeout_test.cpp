// wipeout: the per-channel matte mix in both directions.

#include "seqfx_test.h"

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

class Wipeout : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("wipeout"); }
  Pixel one(Pixel a, Pixel b, Pixel matte) {
    Image ia = seqfx_test::solid(1, 1, a), ib = seqfx_test::solid(1, 1, b),
          im = seqfx_test::solid(1, 1, matte);
    Image out(1, 1);
    p->render(1, 0, 0, ia, &ib, out, &im);
    return at(out, 0, 0);
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Wipeout, Table) {
  EXPECT_EQ(p->display_name(), "wipeOut");
  ASSERT_EQ(p->row_count(), 2);
  EXPECT_EQ(seqfx::row_label(p->row(1)), "mask negative");
  EXPECT_EQ(seqfx::row_tip(p->row(1)), "Make the mask negative");
}

TEST_F(Wipeout, WhiteAndBlackMattesSelectAStripAndNegativeSwaps) {
  Image a = seqfx_test::test_picture(37, 23, 1), b = seqfx_test::test_picture(37, 23, 2);
  Image white = seqfx_test::solid(37, 23, {255, 255, 255, 255}), black(37, 23);
  Image out(37, 23);
  p->render(1, 0, 0, a, &b, out, &white);
  EXPECT_TRUE(seqfx_test::same_pixels(out, a));
  p->render(1, 0, 0, a, &b, out, &black);
  EXPECT_TRUE(seqfx_test::same_pixels(out, b));
  p->set_value("mask negative", 1);
  p->render(1, 0, 0, a, &b, out, &white);
  EXPECT_TRUE(seqfx_test::same_pixels(out, b));
  p->render(1, 0, 0, a, &b, out, &black);
  EXPECT_TRUE(seqfx_test::same_pixels(out, a));
}

TEST_F(Wipeout, MatteWorksPerChannel) {
  EXPECT_EQ(one({200, 200, 200, 200}, {0, 0, 0, 0}, {255, 0, 128, 0}), (Pixel{200, 0, 100, 0}));
  p->set_value("mask negative", 1);
  EXPECT_EQ(one({200, 200, 200, 200}, {0, 0, 0, 0}, {255, 0, 128, 0}), (Pixel{0, 200, 99, 200}));
}

TEST_F(Wipeout, SumIsDoublePrecision) {
  // m = 1/255 in single precision. 255 (1 - m) with 1 - m in double is
  // 253.99999999, truncated to 253 (a single-precision 1 - m gives 254).
  EXPECT_EQ(one({0, 5, 0, 0}, {255, 5, 85, 0}, {1, 1, 3, 0}), (Pixel{253, 5, 83, 0}));
  // 5 m + 5 (1 - m) is 5 in doubles; a single-precision 5 m gives 4.
}

TEST_F(Wipeout, MissingImagesAreNamedAndLeaveTheOutputAlone) {
  Image a = seqfx_test::test_picture(7, 5);
  Image out = seqfx_test::solid(7, 5, {9, 9, 9, 9});
  seqfx_test::Console con;
  p->call(1, 0, 0, 7, 5, a.record(), a.record(), out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, a.record(), nullptr, out.record(), a.record());
  p->call(1, 0, 0, 7, 5, nullptr, a.record(), out.record(), a.record());
  p->call(1, 0, 0, 7, 5, a.record(), a.record(), nullptr, a.record());
  con.finish();
  EXPECT_EQ(con.out(),
            "wipeout: no ibuf3 (matte)!\nwipeout: no ibuf2!\nwipeout: no ibuf1!\n"
            "wipeout: no output image!\n");
  EXPECT_EQ(at(out, 6, 4), (Pixel{9, 9, 9, 9}));
}

TEST_F(Wipeout, OddSizes) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image a = seqfx_test::test_picture(w, h, 1), b = seqfx_test::test_picture(w, h, 2),
          m = seqfx_test::test_picture(w, h, 3);
    Image out(w, h);
    p->render(1, 0, 0, a, &b, out, &m);
    const Pixel o = at(out, w - 1, h - 1), pa = at(a, w - 1, h - 1), pb = at(b, w - 1, h - 1);
    for (int k = 0; k < 4; ++k) {
      EXPECT_GE(o[k], std::min(pa[k], pb[k]));
      EXPECT_LE(o[k], std::max(pa[k], pb[k]));
    }
  }
}

}  // namespace

// Unrelated strips and matte with every byte value, a tail outside blocks
// of sixteen bytes, against the mix formula byte by byte.
TEST_F(Wipeout, EveryByteFollowsTheMix) {
  const int w = 131, h = 7;
  Image a = seqfx_test::test_picture(w, h, 3), b = seqfx_test::test_picture(w, h, 4),
        m = seqfx_test::test_picture(w, h, 5);
  Image out(w, h);
  p->render(1, 0, 0, a, &b, out, &m);
  for (size_t i = 0; i < a.pixels() * 4; ++i) {
    const float q = (float)m.rect()[i] / 255.0f;
    const int want = (int)((double)a.rect()[i] * q + (double)b.rect()[i] * (1.0 - (double)q));
    ASSERT_EQ(out.rect()[i], want) << "byte " << i;
  }
}
