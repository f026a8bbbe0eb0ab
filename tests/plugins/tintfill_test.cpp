// tintfill: the flat fill and the single-precision mix with a colour.

#include "seqfx_test.h"

#include <cmath>
#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kEnable = 0, kMix = 1, kRed = 2, kGreen = 3, kBlue = 4 };

class Tintfill : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("tintfill"); }
  Pixel one(Pixel in) {
    Image src = seqfx_test::solid(1, 1, in);
    Image out(1, 1);
    p->render(1, 0, 0, src, nullptr, out);
    return at(out, 0, 0);
  }
  void colour(double r, double g, double b) {
    p->set_value(kRed, r);
    p->set_value(kGreen, g);
    p->set_value(kBlue, b);
  }
  void raw(int row, float v) { std::memcpy(p->slot(row), &v, 4); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Tintfill, Table) {
  EXPECT_EQ(p->display_name(), "tintfill");
  ASSERT_EQ(p->row_count(), 5);
  EXPECT_EQ(seqfx::row_label(p->row(kEnable)), "Enable Mixer");
  EXPECT_EQ(seqfx::row_tip(p->row(kEnable)), "Toggles Mixer. faster!");
  EXPECT_EQ(seqfx::row_label(p->row(kMix)), "Mix ");
  EXPECT_EQ(seqfx::row_label(p->row(kGreen)), "Green ");
  EXPECT_EQ(seqfx::row_tip(p->row(kMix)), "Image/RGB Mix");
  EXPECT_EQ(p->float_slot(kMix), 1.0f);
  EXPECT_EQ(p->float_slot(kBlue), 0.5f);
  EXPECT_EQ(p->int_slot(kEnable), 0);
}

TEST_F(Tintfill, FillNeverReadsThePicture) {
  // The input has no pixel plane at all.
  Image src(7, 5, false);
  Image out(7, 5);
  p->render(1, 0, 0, src, nullptr, out);
  EXPECT_EQ(at(out, 0, 0), (Pixel{127, 127, 127, 255}));
  EXPECT_EQ(at(out, 6, 4), (Pixel{127, 127, 127, 255}));
  colour(1, 0.2, 0);
  EXPECT_EQ(one({9, 9, 9, 9}), (Pixel{255, 51, 0, 255}));
}

TEST_F(Tintfill, MixerBlendsColourAndPicture) {
  p->set_value(kEnable, 1);
  p->set_value(kMix, 0.5);
  colour(1, 0, 0);
  EXPECT_EQ(one({0, 100, 200, 0}), (Pixel{127, 50, 100, 255}));
  p->set_value(kMix, 1);
  EXPECT_EQ(one({3, 100, 200, 0}), (Pixel{3, 100, 200, 255}));
  p->set_value(kMix, 0);
  colour(0.5, 0.25, 1);
  EXPECT_EQ(one({3, 100, 200, 0}), (Pixel{127, 63, 255, 255}));
}

TEST_F(Tintfill, MixerWorksInSinglePrecision) {
  // In double precision these bytes would be 123 and 128.
  p->set_value(kEnable, 1);
  p->set_value(kMix, 0.04);
  colour(0.5, 0.5, 0.5);
  EXPECT_EQ(one({15, 165, 40, 7}), (Pixel{122, 129, 123, 255}));
}

TEST_F(Tintfill, ValuesOutsideTheSlidersAreLimited) {
  raw(kRed, 2.0f);
  raw(kGreen, -1.0f);
  raw(kBlue, std::nanf(""));
  EXPECT_EQ(one({9, 9, 9, 9}), (Pixel{255, 0, 0, 255}));
  p->set_value(kEnable, 1);
  raw(kMix, 7.0f);
  EXPECT_EQ(one({9, 8, 7, 0}), (Pixel{9, 8, 7, 255}));
  raw(kMix, std::nanf(""));
  EXPECT_EQ(one({9, 8, 7, 0}), (Pixel{255, 0, 0, 255}));
}

TEST_F(Tintfill, PixelsCountedFromTheInputImage) {
  p->set_value(kEnable, 1);
  Image src = seqfx_test::test_picture(7, 5);
  Image out(7, 5);
  p->call(1, 0, 0, 1, 1, src.record(), nullptr, out.record(), nullptr);
  const Pixel s = at(src, 6, 4);
  EXPECT_EQ(at(out, 6, 4), (Pixel{s[0], s[1], s[2], 255}));
  Image out2(7, 5);
  p->call(1, 0, 0, 4000, 4000, src.record(), nullptr, out2.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, out2));
}

TEST_F(Tintfill, MissingInputAndOddSizes) {
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  EXPECT_EQ(at(out, 0, 0), (Pixel{1, 2, 3, 4}));
  p->set_value(kEnable, 1);
  p->set_value(kMix, 0.5);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image src = seqfx_test::solid(w, h, {255, 1, 0, 0});
    Image o(w, h);
    p->render(1, 0, 0, src, nullptr, o);
    EXPECT_EQ(at(o, w - 1, h - 1), (Pixel{191, 64, 63, 255}));
  }
}

}  // namespace
