// Highlight isolation and the saturating addition, taken by the widest
// vectors this processor has, against plain per-pixel loops: every pixel
// count up to a few vectors (so every tail), in place and apart, and
// settings from any slot value (negative or huge boosts, limits that are
// not numbers).

#include "highlights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

unsigned char low_bits(float v) {
  if (!(v > -2147483648.0f && v < 2147483648.0f)) return 0;
  return (unsigned char)(int)v;
}

void plain_isolate(const Bytes &src, Bytes &dst, int threshold, float boost, float clamp) {
  const float limit = clamp * 255.0f;
  for (size_t i = 0; i < src.size(); i += 4) {
    const int intensity = src[i] + src[i + 1] + src[i + 2] - threshold;
    for (int c = 0; c < 3; ++c) {
      const float v = (float)src[i + c] * boost * (float)intensity / 255.0f;
      dst[i + c] = intensity <= 0 ? 0 : low_bits(limit >= v ? v : limit);
    }
  }
}

TEST(GlowHighlights, VectorsMatchThePlainLoops) {
  std::mt19937 rng(17);
  const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
  const float boosts[] = {0.5f, 1.5f, 10.0f, -3.7f, 0.0f, 1e30f, inf, nan};
  const float clamps[] = {1.0f, 0.3f, 0.0f, -1.0f, 1e30f, nan};
  const int thresholds[] = {0, 382, 765, -16777216, 100};
  for (int round = 0; round < 200; ++round) {
    const int w = 1 + round % 13, h = 1 + (int)(rng() % 3);
    Bytes src((size_t)w * h * 4);
    for (auto &b : src) b = (unsigned char)rng();
    const int threshold = thresholds[rng() % 5];
    const float boost = boosts[rng() % 8], clamp = clamps[rng() % 6];
    Bytes want = src;
    for (size_t i = 0; i < want.size(); i += 4) want[i + 3] = (unsigned char)(i * 7);
    Bytes got = want;
    plain_isolate(src, want, threshold, boost, clamp);
    seqfx_common::isolate_highlights(src.data(), got.data(), w, h, threshold, boost, clamp);
    ASSERT_EQ(got, want) << w << "x" << h << " threshold " << threshold << " boost " << boost
                         << " clamp " << clamp;
    // In place: the A bytes are the source's own.
    Bytes same = src, same_want = src;
    plain_isolate(src, same_want, threshold, boost, clamp);
    seqfx_common::isolate_highlights(same.data(), same.data(), w, h, threshold, boost, clamp);
    ASSERT_EQ(same, same_want) << "in place, " << w << "x" << h;
  }
}

TEST(GlowHighlights, SaturatingAdditionInPlaceAndApart) {
  std::mt19937 rng(4);
  for (int pixels = 1; pixels <= 19; ++pixels) {
    Bytes a((size_t)pixels * 4), b(a.size()), want(a.size());
    for (size_t i = 0; i < a.size(); ++i) {
      a[i] = (unsigned char)rng();
      b[i] = (unsigned char)rng();
      want[i] = (unsigned char)(a[i] + b[i] > 255 ? 255 : a[i] + b[i]);
    }
    Bytes got(a.size());
    seqfx_common::add_saturating(a.data(), b.data(), got.data(), pixels, 1);
    ASSERT_EQ(got, want) << pixels << " pixels";
    Bytes into_b = b;
    seqfx_common::add_saturating(a.data(), into_b.data(), into_b.data(), 1, pixels);
    ASSERT_EQ(into_b, want) << pixels << " pixels, into b";
  }
}

}  // namespace
