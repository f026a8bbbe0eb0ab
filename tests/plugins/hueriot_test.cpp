// hueriot: the three channel curves, their wrap and the factor's limits.

#include "seqfx_test.h"

#include <cmath>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

class Hueriot : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("hueriot"); }
  // The output starts as (0, 0, 0, 77): byte 3 must keep the 77.
  Pixel one(Pixel in, float factor0) {
    Image src = seqfx_test::solid(1, 1, in);
    Image out = seqfx_test::solid(1, 1, {0, 0, 0, 77});
    p->render(1, factor0, 0, src, nullptr, out);
    return at(out, 0, 0);
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Hueriot, CurvesAndTheirWrap) {
  EXPECT_EQ(p->display_name(), "HUERIOT");
  EXPECT_EQ(seqfx::row_label(p->row(0)), "Input: 1 strip");
  // Factor 0: every channel is 127.5 - c / 2, truncated.
  EXPECT_EQ(one({0, 128, 255, 9}, 0), (Pixel{127, 63, 0, 77}));
  // Factor 0.5: Fr 1, Fg 2, Fb 1.5; 382 and 318 keep their low 8 bits.
  EXPECT_EQ(one({0, 0, 0, 9}, 0.5f), (Pixel{255, 126, 62, 77}));
  // Factor 1: Fr 0, Fg 0, Fb 3: (765 - 30) / 2 + 127.5 = 495 wraps to 239.
  EXPECT_EQ(one({10, 20, 30, 9}, 1), (Pixel{122, 117, 239, 77}));
  // Factor 0.25: Fg is still 4t = 1; just above, 4 (1 - t) is near 3.
  EXPECT_EQ(one({0, 0, 0, 0}, 0.25f)[1], 255);
  const int above = (int)(4.0 * (1.0 - 0.2501f) * 255.0 * 0.5 + 127.5) & 255;
  EXPECT_EQ(one({0, 0, 0, 0}, 0.2501f)[1], above);
}

TEST_F(Hueriot, DoublePrecisionDecidesTheByte) {
  // 1/3 in single precision lies above 1/3 in double: Fb is 3 (1 - t),
  // just under 2, and gives 382 (126), not 255.
  EXPECT_EQ(one({0, 0, 0, 0}, 1.0f / 3.0f)[2], 126);
  // t = 0.6: (2 (1 - t) 255 - 1) / 2 + 127.5 is 228.99.. in double, 229 in
  // single.
  EXPECT_EQ(one({1, 0, 0, 0}, 0.6f)[0], 228);
}

TEST_F(Hueriot, FactorOutsideZeroToOne) {
  const Pixel in{12, 200, 77, 0};
  EXPECT_EQ(one(in, -3), one(in, 0));
  EXPECT_EQ(one(in, 7), one(in, 1));
  EXPECT_EQ(one(in, std::nanf("")), one(in, 0));
  EXPECT_EQ(one(in, INFINITY), one(in, 1));
}

TEST_F(Hueriot, MissingInputsInPlaceAndSizes) {
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  Image none(7, 5, false), flat(7, 0);
  for (ImageBuffer *in : {(ImageBuffer *)nullptr, none.record(), flat.record()})
    p->call(1, 0, 0, 7, 5, in, nullptr, out.record(), nullptr);
  EXPECT_EQ(at(out, 6, 4), (Pixel{1, 2, 3, 4}));
  // Counted from the input; a smaller output is not overrun.
  Image big = seqfx_test::solid(37, 23, {0, 0, 0, 5}), small(3, 2);
  p->call(1, 0, 0, 37, 23, big.record(), nullptr, small.record(), nullptr);
  EXPECT_EQ(at(small, 2, 1), (Pixel{127, 127, 127, 0}));
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image s = seqfx_test::solid(w, h, {255, 255, 255, 66});
    p->call(1, 0.5f, 0, w, h, s.record(), nullptr, s.record(), nullptr);
    EXPECT_EQ(at(s, w - 1, h - 1), (Pixel{127, 255, 191, 66})) << w;
  }
}

}  // namespace
