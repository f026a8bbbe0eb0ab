// depthkit: set-up on the first call, mode arbitration, the gradients and
// masks, the automatic range, and the console report.

#include "depthkit_support.h"

#include <cmath>
#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;
using namespace depthkit_test;

namespace {

TEST(DepthkitTable, RowsAndDefaults) {
  auto p = seqfx_test::load("depthkit");
  EXPECT_EQ(p->display_name(), "Depthkit v.2a");
  ASSERT_EQ(p->row_count(), 17);
  EXPECT_EQ(p->row(kStart).def, -2147.483642578125f);
  EXPECT_EQ(p->row(kStart).max, 2147.48291015625f);
  EXPECT_EQ(p->row(kEnd).def, 2147.483642578125f);
  EXPECT_EQ(p->row(kVerbose).max, 256.0f);
  EXPECT_EQ(p->row(kDump).code, 0x0E40);
  EXPECT_EQ(seqfx::row_label(p->row(kLastMode)), "Depthkit v.2a");
  EXPECT_EQ(seqfx::row_tip(p->row(kView)),
            "show z as 3 gradients: Red<start-z, Gray=select z, Blue>end-z || DOF mask");
  EXPECT_EQ(seqfx::row_label(p->row(kAlpha)), "Alpha: ");
}

TEST_F(Depthkit, FirstCallTurnsMaskGreenAndSelectsDepthView) {
  Image in = depth_row({0, 1000000});
  Image out(2, 1);
  std::string first = run(in, nullptr, out);
  EXPECT_EQ(p->int_slot(kSetup), 1);
  EXPECT_EQ(p->int_slot(kLastMode), 1);
  EXPECT_EQ(p->int_slot(kView), 1);
  EXPECT_EQ(p->int_slot(kVerbose), 1);
  const unsigned char *c = p->slot(kColour);
  EXPECT_EQ((Pixel{c[0], c[1], c[2], c[3]}), (Pixel{0, 255, 0, 0}));
  EXPECT_EQ(first.rfind(kRangeNote, 0), 0u) << first;
  EXPECT_NE(first.find("\nDepthkit mode: view Z"), std::string::npos);
  // Later calls skip the set-up and its note at verbosity 1.
  std::string second = run(in, nullptr, out);
  EXPECT_EQ(second.find("The zbuffer has 32 bits"), std::string::npos) << second;

  // A colour that is not all zero is kept.
  auto q = seqfx_test::load("depthkit");
  q->set_colour(kColour, 0, 0, 0, 1);
  run_on(*q, in, nullptr, out);
  EXPECT_EQ(q->slot(kColour)[1], 0);
  EXPECT_EQ(q->slot(kColour)[3], 1);
}

TEST_F(Depthkit, TheToggleSwitchedOnLastWins) {
  Image in = depth_row({0, 1000000});
  Image out(2, 1);
  run(in, nullptr, out);
  EXPECT_EQ(p->int_slot(kLastMode), 1);
  // Mask on while the depth view is on: the view goes off.
  p->set_value(kMask, 1);
  run(in, nullptr, out);
  EXPECT_EQ(p->int_slot(kLastMode), 5);
  EXPECT_EQ(p->int_slot(kView), 0);
  EXPECT_EQ(p->int_slot(kMask), 1);
  // Its second state stays a mask mode.
  p->set_value(kMask, 2);
  run(in, nullptr, out);
  EXPECT_EQ(p->int_slot(kLastMode), 6);
  // The view on again while a mask mode runs: the mask goes off.
  p->set_value(kView, 2);
  run(in, nullptr, out);
  EXPECT_EQ(p->int_slot(kLastMode), 2);
  EXPECT_EQ(p->int_slot(kMask), 0);
  // Depth on top of the view, then the mask on top of the depth.
  p->set_value(kDump, 1);
  run(in, nullptr, out);
  EXPECT_EQ(p->int_slot(kLastMode), 3);
  EXPECT_EQ(p->int_slot(kView), 0);
  p->set_value(kMask, 1);
  run(in, nullptr, out);
  EXPECT_EQ(p->int_slot(kLastMode), 5);
  EXPECT_EQ(p->int_slot(kDump), 0);
  // Everything off: lurking, the picture passes through.
  p->set_value(kMask, 0);
  std::string log = run(in, nullptr, out);
  EXPECT_EQ(p->int_slot(kLastMode), 0);
  EXPECT_TRUE(seqfx_test::same_pixels(in, out));
  EXPECT_NE(log.find("\nDepthkit mode: lurking\n"), std::string::npos) << log;
}

// Depths in millions: -2 -1.5 -1 0 0.5 1 2 3, range -1..1 set by hand.
class DepthkitGradients : public Depthkit {
 protected:
  void SetUp() override {
    Depthkit::SetUp();
    settle();
    p->set_value(kAuto, 0);
    p->set_value(kStart, -1);
    p->set_value(kEnd, 1);
    p->set_colour(kColour, 10, 20, 30, 40);
    p->set_value(kAlpha, 77);
    in = depth_row({-2000000, -1500000, -1000000, 0, 500000, 1000000, 2000000, 3000000});
  }
  std::vector<Pixel> frame(int view, int dump, int mask) {
    p->set_value(kView, view);
    p->set_value(kDump, dump);
    p->set_value(kMask, mask);
    Image out(8, 1);
    run(in, nullptr, out);
    std::vector<Pixel> v;
    for (int x = 0; x < 8; ++x) v.push_back(at(out, x, 0));
    return v;
  }
  Image in{1, 1};
};

TEST_F(DepthkitGradients, DepthViewIsYellowToRedInFrontAndBlueToCyanBehind) {
  const std::vector<Pixel> want = {{255, 0, 0, 77},   {255, 128, 0, 77}, {0, 0, 0, 255},
                                   {127, 127, 127, 255}, {191, 191, 191, 255}, {255, 255, 255, 255},
                                   {0, 127, 255, 77}, {0, 255, 255, 77}};
  EXPECT_EQ(frame(1, 0, 0), want);
  p->set_value(kInv, 1);
  const std::vector<Pixel> inv = {{255, 255, 0, 77},  {255, 127, 0, 77}, {255, 255, 255, 255},
                                  {128, 128, 128, 255}, {64, 64, 64, 255}, {0, 0, 0, 255},
                                  {0, 128, 255, 77}, {0, 0, 255, 77}};
  EXPECT_EQ(frame(1, 0, 0), inv);
}

TEST_F(DepthkitGradients, DofMaskIsBlackInsideAndClipsItsRamps) {
  std::vector<Pixel> v = frame(2, 0, 0);
  const int grey[8] = {255, 127, 0, 0, 0, 0, 127, 255};
  for (int x = 0; x < 8; ++x) EXPECT_EQ(v[x], (Pixel{(unsigned char)grey[x], (unsigned char)grey[x],
                                                      (unsigned char)grey[x], 255})) << x;
  // The clip values only count while "DOF clip" is on.
  p->set_value(kFront, 100);
  p->set_value(kRear, 10);
  EXPECT_EQ(frame(2, 0, 0)[1], (Pixel{127, 127, 127, 255}));
  p->set_value(kClip, 1);
  v = frame(2, 0, 0);
  EXPECT_EQ(v[0], (Pixel{100, 100, 100, 255}));
  EXPECT_EQ(v[1], (Pixel{50, 50, 50, 255}));
  EXPECT_EQ(v[6], (Pixel{5, 5, 5, 255}));
  EXPECT_EQ(v[7], (Pixel{10, 10, 10, 255}));
  p->set_value(kInv, 1);
  EXPECT_EQ(frame(2, 0, 0)[3], (Pixel{255, 255, 255, 255}));
}

TEST_F(DepthkitGradients, GreyDepthAndTheTwoMasks) {
  const Pixel mask{10, 20, 30, 77};
  std::vector<Pixel> grey = frame(0, 1, 0);
  EXPECT_EQ(grey[0], mask);
  EXPECT_EQ(grey[3], (Pixel{127, 127, 127, 255}));
  EXPECT_EQ(grey[7], mask);
  std::vector<Pixel> outside = frame(0, 0, 1);
  std::vector<Pixel> inside = frame(0, 0, 2);
  for (int x = 0; x < 8; ++x) {
    const bool in_range = x >= 2 && x <= 5;
    EXPECT_EQ(outside[x], in_range ? at(in, x, 0) : mask) << x;
    EXPECT_EQ(inside[x], in_range ? mask : at(in, x, 0)) << x;
  }
}

TEST_F(Depthkit, GreyIsComputedInSinglePrecision) {
  // Find depths where d = z / 1000000 and the gradient, taken in single
  // precision, truncate to another byte than the same sums in double.
  p->set_value(kAuto, 0);
  p->set_value(kStart, 0);
  p->set_value(kEnd, 3);
  std::vector<int> zs;
  std::vector<int> want;
  for (int k = 1; k < 255 && zs.size() < 16; ++k) {
    const int z0 = (int)std::lround(k * 3000000.0 / 255.0);
    for (int z = z0 - 2; z <= z0 + 2; ++z) {
      const float d = (float)z / 1000000.0f;
      const int single = (int)((d - 0.0f) / 3.0f * 255.0f);
      const int twice = (int)(z / 1e6 / 3.0 * 255.0);
      if (single != twice) {
        zs.push_back(z);
        want.push_back(single & 0xFF);
      }
    }
  }
  ASSERT_FALSE(zs.empty());
  Image in = depth_row(zs);
  Image out((int)zs.size(), 1);
  p->set_value(kDump, 1);
  run(in, nullptr, out);
  for (size_t i = 0; i < zs.size(); ++i) EXPECT_EQ(at(out, (int)i, 0)[0], want[i]) << zs[i];
}

TEST_F(Depthkit, RangeOfOneDepthIsBlackAtItsStart) {
  p->set_value(kAuto, 0);
  p->set_value(kStart, 1);
  p->set_value(kEnd, 1);
  p->set_value(kDump, 1);
  Image in = depth_row({1000000, 0});
  Image out(2, 1);
  run(in, nullptr, out);
  EXPECT_EQ(at(out, 0, 0), (Pixel{0, 0, 0, 255}));
  p->set_value(kInv, 1);
  run(in, nullptr, out);
  EXPECT_EQ(at(out, 0, 0), (Pixel{255, 255, 255, 255}));
}

TEST_F(Depthkit, AutoSelectTakesNearestAndFarthestOpaqueDepth) {
  Image in = depth_row({-3000000, 500000, 2000000, 9000000});
  in.pixel(3, 0)[3] = 254;  // the farthest pixel is not opaque
  Image out(4, 1);
  run(in, nullptr, out);
  EXPECT_EQ(p->float_slot(kStart), -3.0f);
  EXPECT_EQ(p->float_slot(kEnd), 2.0f);
  // Depth view: the transparent pixel behind the range is cyan at the far end.
  EXPECT_EQ(at(out, 3, 0), (Pixel{0, 255, 255, 0}));
  EXPECT_EQ(at(out, 0, 0), (Pixel{0, 0, 0, 255}));
}

TEST_F(Depthkit, ReversedRangeIsSwappedAndWarned) {
  Image in = depth_row({-1000000, 4000000});
  for (int x = 0; x < 2; ++x) in.pixel(x, 0)[3] = 100;
  Image out(2, 1);
  std::string log = run(in, nullptr, out);
  EXPECT_EQ(p->float_slot(kStart), -2147.483642578125f);
  EXPECT_EQ(p->float_slot(kEnd), -1.0f);
  const std::string banner = "\n**********Depthkit WARNING**********\n";
  EXPECT_NE(log.find("\n" + banner + "\n* start z must be smaller than end z\n"
                     "* start z and end z have been switched\n" + banner + "\n"),
            std::string::npos) << log;

  // A range reversed by hand is swapped in its slots too.
  p->set_value(kAuto, 0);
  p->set_value(kStart, 2);
  p->set_value(kEnd, -2);
  Image mid = depth_row({0});
  Image out1(1, 1);
  run(mid, nullptr, out1);
  EXPECT_EQ(p->float_slot(kStart), -2.0f);
  EXPECT_EQ(p->float_slot(kEnd), 2.0f);
  EXPECT_EQ(at(out1, 0, 0), (Pixel{127, 127, 127, 255}));
}

TEST_F(Depthkit, MaskModesWithAutoSelectAdviseTurningItOff) {
  Image in = depth_row({0, 1});
  Image out(2, 1);
  const std::string advice = "* Turn off autoselect\n* Then adjust start-z and end-Z for proper effect\n";
  EXPECT_EQ(run(in, nullptr, out).find(advice), std::string::npos);
  p->set_value(kMask, 2);
  EXPECT_NE(run(in, nullptr, out).find(advice), std::string::npos);
  p->set_value(kAuto, 0);
  EXPECT_EQ(run(in, nullptr, out).find(advice), std::string::npos);
}

TEST_F(Depthkit, EveryModeOnOddSizesAndExtremeDepths) {
  settle();
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image in = seqfx_test::test_picture(w, h);
    int *z = in.add_zbuf();
    for (int i = 0; i < w * h; ++i)
      z[i] = i % 3 == 0 ? INT32_MIN : (i % 3 == 1 ? INT32_MAX : (int)(i * 2654435761u));
    for (int mode = 0; mode <= 6; ++mode) {
      p->set_value(kView, mode == 1 || mode == 2 ? mode : 0);
      p->set_value(kDump, mode == 3 || mode == 4 ? mode - 2 : 0);
      p->set_value(kMask, mode >= 5 ? mode - 4 : 0);
      p->set_value(kVerbose, 2);
      p->set_value(kClip, 1);
      p->set_value(kFront, 0);
      Image out(w, h);
      run(in, nullptr, out);
      EXPECT_EQ(p->int_slot(kLastMode), mode) << w << "x" << h;
      if (mode == 0) {
        EXPECT_TRUE(seqfx_test::same_pixels(in, out));
      }
    }
  }
}

}  // namespace
