// desaturate: the double-precision blend of each pixel with its truncated
// luma grey.

#include "seqfx_test.h"

#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {


class Desaturate : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("desaturate"); }
  Pixel one(Pixel in) {
    Image src = seqfx_test::solid(1, 1, in);
    Image out(1, 1);
    p->render(1, 0, 0, src, nullptr, out);
    return at(out, 0, 0);
  }
  void raw_amount(int v) { std::memcpy(p->slot(p->find_row("Amount:")), &v, 4); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Desaturate, Table) {
  EXPECT_EQ(p->display_name(), "Desaturate");
  ASSERT_EQ(p->row_count(), 2);
  EXPECT_EQ(p->row(0).code, PLUGIN_CODE_LABEL);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "Input: 1 strip");
  EXPECT_EQ(p->find_row("Amount:"), 1);  // the table's layout is part of the interface
  EXPECT_EQ(p->row(p->find_row("Amount:")).code, PLUGIN_CODE_SLIDER_INT);
  EXPECT_EQ(seqfx::row_label(p->row(p->find_row("Amount:"))), "Amount:");
  EXPECT_EQ(p->row(p->find_row("Amount:")).max, 100.0f);
  EXPECT_EQ(p->int_slot(p->find_row("Amount:")), 100);
}

TEST_F(Desaturate, AmountIsTheShareOfColourThatStays) {
  const Pixel px{200, 100, 0, 128};
  EXPECT_EQ(one(px), px);
  p->set_value("Amount:", 0);
  EXPECT_EQ(one(px), (Pixel{118, 118, 118, 128}));  // 118.5 truncated
  p->set_value("Amount:", 50);
  EXPECT_EQ(one(px), (Pixel{159, 109, 59, 128}));
}

TEST_F(Desaturate, DoublePrecisionDecidesTheByte) {
  // Each of these comes out one higher or lower in single precision.
  p->set_value("Amount:", 0);
  EXPECT_EQ(one({0, 72, 24, 9}), (Pixel{44, 44, 44, 9}));  // grey 44.99999...
  p->set_value("Amount:", 2);
  EXPECT_EQ(one({5, 127, 254, 1}), (Pixel{102, 105, 107, 1}));
  p->set_value("Amount:", 4);
  EXPECT_EQ(one({1, 208, 251, 0}), (Pixel{145, 153, 155, 0}));
}

TEST_F(Desaturate, AmountsOutsideTheSliderAreLimited) {
  const Pixel px{200, 100, 0, 128};
  raw_amount(1000);
  EXPECT_EQ(one(px), px);
  raw_amount(-50);
  EXPECT_EQ(one(px), (Pixel{118, 118, 118, 128}));
}

TEST_F(Desaturate, PixelsCountedFromTheInputImage) {
  p->set_value("Amount:", 0);
  Image src = seqfx_test::solid(7, 5, {200, 100, 0, 128});
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  p->call(1, 0, 0, 1, 1, src.record(), nullptr, out.record(), nullptr);
  EXPECT_EQ(at(out, 6, 4), (Pixel{118, 118, 118, 128}));
  // Arguments larger than the images do not make it run past them.
  Image big_out(7, 5);
  p->call(1, 0, 0, 4000, 4000, src.record(), nullptr, big_out.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(out, big_out));
}

TEST_F(Desaturate, MissingInputLeavesOutputAlone) {
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  seqfx_test::Console console;
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  console.finish();
  EXPECT_EQ(console.out(), "");
  EXPECT_EQ(at(out, 3, 3), (Pixel{1, 2, 3, 4}));
}

TEST_F(Desaturate, InPlaceAndOddSizes) {
  p->set_value("Amount:", 0);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image src = seqfx_test::test_picture(w, h);
    Image out(w, h);
    p->render(1, 0, 0, src, nullptr, out);
    Image same = seqfx_test::test_picture(w, h);
    p->call(1, 0, 0, w, h, same.record(), nullptr, same.record(), nullptr);
    EXPECT_TRUE(seqfx_test::same_pixels(out, same)) << w << "x" << h;
    const Pixel o = at(out, w - 1, h - 1);
    EXPECT_EQ(o[0], o[1]);
    EXPECT_EQ(o[1], o[2]);
  }
}

}  // namespace
