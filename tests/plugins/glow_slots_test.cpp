// glow with slot values no widget can set: what a host may still write.

#include "seqfx_test.h"

#include <cstring>

using seqfx::Image;

namespace {

template <typename T>
void put_raw(seqfx::Plugin &p, const char *label, T v) {
  static_assert(sizeof(T) == 4, "a slot holds 4 bytes");
  std::memcpy(p.slot(p.find_row(label)), &v, 4);
}

Image glow_of(seqfx::Plugin &p, const Image &in) {
  Image out(in.width(), in.height());
  seqfx_test::Console quiet;
  p.render(1, 0, 0, const_cast<Image &>(in), nullptr, out);
  return out;
}

TEST(GlowSlots, ThresholdsBeyondTheRangeActLikeTheirLimits) {
  const Image in = seqfx_test::test_picture(24, 16);
  auto p = seqfx_test::load("glow");
  // From 765 on nothing is a highlight: the picture comes back as it was.
  put_raw(*p, "Threshold", 1e30f);
  EXPECT_TRUE(seqfx_test::same_pixels(glow_of(*p, in), in));
  // Far below 0 everything is a highlight at full strength, however far.
  put_raw(*p, "Threshold", -3e6f);
  const Image far = glow_of(*p, in);
  put_raw(*p, "Threshold", -30000.0f);
  EXPECT_TRUE(seqfx_test::same_pixels(glow_of(*p, in), far));
  // Not a number counts as 0.
  put_raw(*p, "Threshold", 0.0f);
  const Image zero = glow_of(*p, in);
  std::uint32_t nan_bits = 0x7FC00000u;
  put_raw(*p, "Threshold", nan_bits);
  EXPECT_TRUE(seqfx_test::same_pixels(glow_of(*p, in), zero));
}

TEST(GlowSlots, QualityAndDistanceBeyondTheTableBlurAsTheLargestSetting) {
  const Image in = seqfx_test::test_picture(24, 16);
  auto p = seqfx_test::load("glow");
  p->set_value("Quality", 5);
  p->set_value("Blur Distance", 20);
  const Image largest = glow_of(*p, in);
  put_raw(*p, "Quality", 2147483647);
  EXPECT_TRUE(seqfx_test::same_pixels(glow_of(*p, in), largest));
  put_raw(*p, "Quality", 5);
  put_raw(*p, "Blur Distance", 1e9f);
  EXPECT_TRUE(seqfx_test::same_pixels(glow_of(*p, in), largest));
}

}  // namespace
