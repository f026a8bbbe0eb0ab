// invert: channel inversion with its crossed toggles, offsets and the
// hue/saturation/value shift.

#include "seqfx_test.h"

#include <cmath>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kRed = 2, kGreen = 3, kBlue = 4, kAlpha = 5, kRedSat = 7, kBlueSat = 8,
           kGreenSat = 9, kAlphaSat = 10, kHue = 12, kSat = 13, kVal = 14 };

class Invert : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("invert"); }
  void toggles(int r, int g, int b, int a) {
    p->set_value(kRed, r);
    p->set_value(kGreen, g);
    p->set_value(kBlue, b);
    p->set_value(kAlpha, a);
  }
  Pixel one(Pixel in) {
    Image src = seqfx_test::solid(1, 1, in);
    Image out(1, 1);
    p->render(1, 0, 0, src, nullptr, out);
    return at(out, 0, 0);
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Invert, Table) {
  EXPECT_EQ(p->display_name(), "invert");
  ASSERT_EQ(p->row_count(), 15);
  EXPECT_EQ(seqfx::row_label(p->row(8)), "BlueSat");
  EXPECT_EQ(seqfx::row_tip(p->row(14)), "Modify Saturation");
  EXPECT_EQ(p->row(12).min, -1.0f);
  EXPECT_EQ(p->int_slot(kAlpha), 0);
}

TEST_F(Invert, DefaultsInvertColourNotAlpha) {
  EXPECT_EQ(one({200, 100, 0, 255}), (Pixel{55, 155, 255, 255}));
  toggles(0, 0, 0, 1);
  EXPECT_EQ(one({200, 100, 0, 255}), (Pixel{200, 100, 0, 0}));
}

TEST_F(Invert, GreenAndBlueTogglesAreCrossed) {
  toggles(0, 1, 0, 0);
  EXPECT_EQ(one({10, 20, 30, 40}), (Pixel{10, 20, 225, 40}));
  toggles(0, 0, 1, 0);
  EXPECT_EQ(one({10, 20, 30, 40}), (Pixel{10, 235, 30, 40}));
}

TEST_F(Invert, OffsetsSaturateTruncateAndAreNotCrossed) {
  toggles(0, 0, 0, 0);
  p->set_value(kRedSat, 100);
  EXPECT_EQ(one({200, 0, 0, 0})[0], 255);
  p->set_value(kRedSat, -100);
  EXPECT_EQ(one({50, 0, 0, 0})[0], 0);
  p->set_value(kRedSat, 0.9);
  EXPECT_EQ(one({10, 0, 0, 0})[0], 10);
  p->set_value(kRedSat, -0.5);
  EXPECT_EQ(one({10, 0, 0, 0})[0], 9);
  p->set_value(kRedSat, 0);
  p->set_value(kBlueSat, 5);
  p->set_value(kGreenSat, 7);
  p->set_value(kAlphaSat, -9);
  EXPECT_EQ(one({10, 20, 30, 40}), (Pixel{10, 27, 35, 31}));
}

TEST_F(Invert, InversionComesBeforeTheOffset) {
  toggles(1, 0, 0, 0);
  p->set_value(kRedSat, 20);
  EXPECT_EQ(one({10, 0, 0, 0})[0], 255);  // 245 + 20, not 255 - 30
  p->set_value(kRedSat, -20);
  EXPECT_EQ(one({10, 0, 0, 0})[0], 225);
}

TEST_F(Invert, EveryByteWithFractionalOffsets) {
  // Each channel of each pixel runs one byte value through its own
  // inversion and a fractional offset; the sum is single precision.
  toggles(1, 0, 1, 0);
  const float off[4] = {0.7f, -0.3f, 254.6f, -254.9f};
  p->set_value(kRedSat, off[0]);
  p->set_value(kGreenSat, off[1]);
  p->set_value(kBlueSat, off[2]);
  p->set_value(kAlphaSat, off[3]);
  Image src = seqfx_test::painted(256, 1, [](int x, int) {
    return Pixel{(unsigned char)x, (unsigned char)(255 - x), (unsigned char)x, (unsigned char)x};
  });
  Image out(256, 1);
  p->render(1, 0, 0, src, nullptr, out);
  const bool inv[4] = {true, true, false, false};  // "Blue" inverts byte 1
  for (int x = 0; x < 256; ++x)
    for (int c = 0; c < 4; ++c) {
      int b = at(src, x, 0)[c];
      if (inv[c]) b = 255 - b;
      float s = (float)b + off[c];
      int want = s <= 0 ? 0 : (s >= 255 ? 255 : (int)s);
      ASSERT_EQ(at(out, x, 0)[c], want) << "x " << x << " channel " << c;
    }
}

TEST_F(Invert, HsvStepNeedsASliderAtLeastOneHundredthAway) {
  toggles(0, 0, 0, 0);
  const Pixel red{255, 0, 0, 77};
  for (double v : {0.009, 0.01, -0.01}) {
    p->set_value(kHue, v);
    EXPECT_EQ(one(red), red) << v;
  }
  // Just above 0.01 in single precision the step runs.
  p->set_value(kHue, 0.5);
  EXPECT_EQ(one(red), (Pixel{0, 255, 255, 77}));
  p->set_value(kHue, 0);
  p->set_value(kVal, std::nextafter(0.01f, 1.0f));
  EXPECT_EQ(one({200, 100, 50, 9}), (Pixel{202, 101, 50, 9}));
}

TEST_F(Invert, HueTurnsTheOtherWayRoundTheWheel) {
  toggles(0, 0, 0, 0);
  // A quarter turn back from red lands at 270 degrees: sector 4 gives
  // bytes (t, v, p), so byte 1 (in the place of blue) is full.
  p->set_value(kHue, -0.25);
  EXPECT_EQ(one({255, 0, 0, 255}), (Pixel{127, 255, 0, 255}));
}

TEST_F(Invert, GreyStaysGreyAndAlphaKeepsItsOffset) {
  toggles(0, 0, 0, 0);
  p->set_value(kSat, 1);
  p->set_value(kVal, 0.2);
  p->set_value(kAlphaSat, 10);
  EXPECT_EQ(one({100, 100, 100, 50}), (Pixel{151, 151, 151, 60}));
  p->set_value(kVal, -1);
  EXPECT_EQ(one({200, 10, 90, 50}), (Pixel{0, 0, 0, 60}));
  p->set_value(kVal, 1);
  p->set_value(kSat, -1);
  EXPECT_EQ(one({200, 10, 90, 50}), (Pixel{255, 255, 255, 60}));
}

TEST_F(Invert, PixelCountComesFromTheArguments) {
  Image src = seqfx_test::test_picture(7, 5);
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  // Only width x height pixels from the start are made: 3 x 2 = 6 pixels.
  p->call(1, 0, 0, 3, 2, src.record(), nullptr, out.record(), nullptr);
  for (int i = 0; i < 35; ++i) {
    const Pixel o = at(out, i % 7, i / 7), s = at(src, i % 7, i / 7);
    const Pixel inverted{(unsigned char)(255 - s[0]), (unsigned char)(255 - s[1]),
                         (unsigned char)(255 - s[2]), s[3]};
    EXPECT_EQ(o, (i < 6 ? inverted : Pixel{1, 2, 3, 4})) << "pixel " << i;
  }
  Image before = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  p->call(1, 0, 0, 0, 5, src.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 0, src.record(), nullptr, before.record(), nullptr);
  EXPECT_EQ(at(before, 0, 0), (Pixel{1, 2, 3, 4}));
}

TEST_F(Invert, MissingOrSmallImagesAreNotOverrun) {
  Image small = seqfx_test::solid(2, 2, {0, 0, 0, 9});
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  // A frame larger than the input: only the input's 4 pixels are made.
  p->call(1, 0, 0, 7, 5, small.record(), nullptr, out.record(), nullptr);
  EXPECT_EQ(at(out, 3, 0), (Pixel{255, 255, 255, 9}));
  EXPECT_EQ(at(out, 4, 0), (Pixel{1, 2, 3, 4}));
  Image norect(7, 5, false);
  p->call(1, 0, 0, 7, 5, norect.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, small.record(), nullptr, norect.record(), nullptr);
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  EXPECT_EQ(at(out, 4, 0), (Pixel{1, 2, 3, 4}));
}

TEST_F(Invert, ExtremesOnOddSizes) {
  p->set_value(kHue, 1);
  p->set_value(kSat, -1);
  p->set_value(kVal, 1);
  p->set_value(kRedSat, 255);
  p->set_value(kAlphaSat, -255);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image src = seqfx_test::test_picture(w, h);
    Image out(w, h);
    p->render(1, 0, 0, src, nullptr, out);
    EXPECT_EQ(at(out, w - 1, h - 1), (Pixel{255, 255, 255, 0}));
  }
}

}  // namespace

// Every byte value in every channel, at a width whose last pixels fall
// outside a block of four, against the per-byte rule (flip, then the
// single-precision sum truncated and limited), for offsets whose
// truncation does and does not shift every byte alike.
TEST(InvertOffsets, EveryByteMatchesTheRule) {
  auto p = seqfx_test::load("invert");
  const int w = 259, h = 3;
  Image in = seqfx_test::painted(w, h, [](int x, int y) {
    const unsigned char v = (unsigned char)(x + 85 * y);
    return Pixel{v, (unsigned char)(255 - v), (unsigned char)(v * 7), (unsigned char)(v ^ 0x5A)};
  });
  for (float off : {0.0f, 0.3f, -0.7f, -1e-6f, 1e-6f, 12.5f, -254.9f, 255.0f, 100.0001f, -3.0f}) {
    p->set_value("redSat", off);
    p->set_value("GreenSat", off);
    p->set_value("BlueSat", off);
    p->set_value("AlphaSat", off);
    Image out(w, h);
    p->render(1, 0, 0, in, nullptr, out);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 4; ++c) {
          const int b = c < 3 ? 255 - in.pixel(x, y)[c] : in.pixel(x, y)[c];
          const float sum = (float)b + off;
          const int want = !(sum > 0.0f) ? 0 : sum >= 255.0f ? 255 : (int)sum;
          ASSERT_EQ(out.pixel(x, y)[c], want) << "offset " << off << " at " << x << "," << y << " byte " << c;
        }
  }
}

// With a hue, saturation and value shift, a frame of repeated and unique
// colours gives each pixel what that pixel gives alone.
TEST(InvertHsv, FrameMatchesPixelsAlone) {
  auto p = seqfx_test::load("invert");
  p->set_value("Hue", 0.25);
  p->set_value("Saturation", -0.3);
  p->set_value("Value", 0.1);
  const int w = 48, h = 12;
  Image in = seqfx_test::painted(w, h, [](int x, int y) {
    const int k = (x % 7) + 11 * y;  // repeats along rows, distinct across them
    return Pixel{(unsigned char)(k * 37), (unsigned char)(k * 91 + x / 7), (unsigned char)(k * 53), 200};
  });
  Image out(w, h);
  p->render(1, 0, 0, in, nullptr, out);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Image one = seqfx_test::solid(1, 1, at(in, x, y)), alone(1, 1);
      p->render(1, 0, 0, one, nullptr, alone);
      ASSERT_EQ(at(out, x, y), at(alone, 0, 0)) << x << "," << y;
    }
}
