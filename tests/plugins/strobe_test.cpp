// strobe: which frames flash, the three kinds of flash and the second strip.

#include "seqfx_test.h"

#include <climits>
#include <cmath>
#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

const Pixel kIn{10, 20, 30, 255}, kInverted{245, 235, 225, 0}, kSecond{7, 8, 9, 10};
const Pixel kWhite{255, 255, 255, 255}, kClear{0, 0, 0, 0};

class Strobe : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("strobe"); }
  // Frame `frame` of a 3x2 picture, with or without a second strip.
  Pixel one(float frame, bool with_second = false) {
    Image a = seqfx_test::solid(3, 2, kIn), b = seqfx_test::solid(3, 2, kSecond);
    Image out = seqfx_test::solid(3, 2, {1, 1, 1, 1});
    seqfx_test::Console quiet;
    ImageBuffer *second = with_second ? b.record() : nullptr;
    p->call(frame, 0, 0, 3, 2, a.record(), second, out.record(), nullptr);
    return at(out, 2, 1);
  }
  bool flashes(float frame) { return one(frame) != kIn; }
  void frames(int n) { std::memcpy(p->slot(3), &n, 4); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Strobe, FlashFramesFollowTheFrameNumber) {
  EXPECT_EQ(p->display_name(), "Stroboscope");
  EXPECT_EQ(seqfx::row_label(p->row(0)), "Input: >=1 strip");
  EXPECT_EQ(seqfx::row_tip(p->row(3)), "Which Frames?");
  EXPECT_EQ(p->int_slot(3), 2);
  for (float f : {0.0f, 2.0f, 4.0f, -4.0f, 1000.0f}) EXPECT_TRUE(flashes(f)) << f;
  for (float f : {1.0f, 3.0f, -3.0f, 2.5f, -0.5f, NAN, INFINITY}) EXPECT_FALSE(flashes(f)) << f;
  p->set_value("Frames:", 25);
  for (float f : {0.0f, 25.0f, 50.0f, -25.0f}) EXPECT_TRUE(flashes(f)) << f;
  for (float f : {24.0f, 26.0f, 12.5f}) EXPECT_FALSE(flashes(f)) << f;
  // Below the table's 2 counts as 2; a huge n flashes at 0 only.
  for (int n : {0, 1, -1, INT_MIN}) {
    frames(n);
    EXPECT_TRUE(flashes(4) && !flashes(3)) << n;
  }
  frames(INT_MAX);
  EXPECT_TRUE(flashes(0) && !flashes(7));
}

TEST_F(Strobe, KindsOfFlash) {
  EXPECT_EQ(one(0), kInverted);
  EXPECT_EQ(one(0, true), kInverted);
  p->set_value("Alpha Flash", 1);
  EXPECT_EQ(one(0, true), kSecond);
  EXPECT_EQ(one(0), kClear);
  EXPECT_EQ(one(1, true), kIn);
  p->set_value("White Flash", 1);
  EXPECT_EQ(one(0, true), kWhite);
  EXPECT_EQ(one(0), kWhite);
  p->set_value("Alpha Flash", 0);
  EXPECT_EQ(one(2), kWhite);
  EXPECT_EQ(one(3), kIn);
}

TEST_F(Strobe, MessageForAMissingSecondStrip) {
  Image a = seqfx_test::solid(7, 5, kIn), b = seqfx_test::solid(7, 5, kSecond), out(7, 5);
  p->set_value("Alpha Flash", 1);
  seqfx_test::Console con;
  p->call(0, 0, 0, 7, 5, a.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, a.record(), nullptr, out.record(), nullptr);
  p->call(0, 0, 0, 7, 5, a.record(), b.record(), out.record(), nullptr);
  p->call(0, 0, 0, 7, 5, nullptr, b.record(), out.record(), nullptr);
  // The same record twice is no second strip.
  p->call(0, 0, 0, 7, 5, a.record(), a.record(), out.record(), nullptr);
  con.finish();
  EXPECT_EQ(con.out(), "no ibuf2!\nno ibuf2!\nno ibuf2!\n");
  EXPECT_EQ(at(out, 6, 4), kClear);
}

TEST_F(Strobe, InPlaceSmallerImagesAndSizes) {
  seqfx_test::Console quiet;
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image a = seqfx_test::solid(w, h, kIn);
    p->call(0, 0, 0, w, h, a.record(), nullptr, a.record(), nullptr);
    p->call(1, 0, 0, w, h, a.record(), nullptr, a.record(), nullptr);
    EXPECT_EQ(at(a, w - 1, h - 1), kInverted);
  }
  // A second strip smaller than the frame: the rest is transparent black.
  p->set_value("Alpha Flash", 1);
  Image a = seqfx_test::solid(7, 5, kIn), b = seqfx_test::solid(3, 2, kSecond);
  Image out = seqfx_test::solid(7, 5, {1, 1, 1, 1}), none(7, 5, false);
  p->call(0, 0, 0, 7, 5, a.record(), b.record(), out.record(), nullptr);
  EXPECT_EQ(at(out, 2, 1), kSecond);
  EXPECT_EQ(at(out, 3, 1), kClear);
  EXPECT_EQ(at(out, 0, 2), kClear);
  // out is the second strip; an output smaller than the input.
  p->call(0, 0, 0, 3, 2, a.record(), b.record(), b.record(), nullptr);
  EXPECT_EQ(at(b, 2, 1), kSecond);
  p->call(1, 0, 0, 7, 5, a.record(), nullptr, b.record(), nullptr);
  EXPECT_EQ(at(b, 2, 1), kIn);
  p->call(0, 0, 0, 7, 5, none.record(), nullptr, out.record(), nullptr);
  p->call(0, 0, 0, 7, 5, a.record(), none.record(), out.record(), nullptr);
  EXPECT_EQ(at(out, 6, 4), kClear);
}

}  // namespace
