// The halo made in one walk down the rows against the three passes over
// the whole frame (highlights, blur, addition) of the plain loops: into
// another image and in place, with and without the addition, on frames
// from one row up.

#include "blur.h"
#include "glow_reference.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

TEST(GlowHalo, OneWalkGivesTheBytesOfThreePasses) {
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int round = 0; round < 48; ++round) {
    const int w = 1 + (int)(rng() % 90), h = round < 8 ? 1 + round : 1 + (int)(rng() % 60);
    const int threshold = (int)(unit(rng) * 765.0f);
    const float boost = unit(rng) * 4.0f, clamp = unit(rng), distance = 0.5f + unit(rng) * 6.0f;
    const int quality = 1 + (int)(rng() % 5);
    const bool only_boost = round % 4 == 3, in_place = round % 2 == 1;
    Bytes in((size_t)w * h * 4), out(in.size());
    for (auto &b : in) b = (unsigned char)rng();
    for (auto &b : out) b = (unsigned char)rng();

    // The three passes: out's A is kept through the first two.
    Bytes want_in = in, want = in_place ? in : out;
    glow_reference::isolate(want_in.data(), want.data(), w, h, threshold, boost, clamp);
    glow_reference::blur(want.data(), w, h, distance, quality);
    if (!only_boost) {
      const Bytes a = in_place ? want : want_in;
      glow_reference::add(a.data(), want.data(), want.data(), w, h);
    }

    Bytes got_in = in, got = out;
    unsigned char *dst = in_place ? got_in.data() : got.data();
    ASSERT_TRUE(blur_halo(got_in.data(), dst, w, h, threshold, boost, clamp, distance, quality,
                          only_boost));
    ASSERT_EQ(in_place ? got_in : got, want)
        << w << "x" << h << " threshold " << threshold << " boost " << boost << " distance "
        << distance << " quality " << quality << (only_boost ? " only boost" : "")
        << (in_place ? " in place" : "");
    if (!in_place) {
      ASSERT_EQ(got_in, in);
    }
  }
}

}  // namespace
