// The blur's fast paths (vector sums of every width, skipped black blocks,
// the ring of rows) against the plain loops, on random pictures, sizes and
// windows.

#include "blur.h"
#include "glow_reference.h"
#include "weighted_sum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Noise, lights on black, or flat patches with lit dots: the three kinds
// of picture that take different paths through the blur. The A bytes are
// noise in every kind.
Bytes picture(std::mt19937 &rng, int w, int h, int kind) {
  Bytes p((size_t)w * h * 4);
  std::uniform_int_distribution<int> byte(0, 255), percent(0, 99);
  for (size_t i = 0; i < p.size(); i += 4) {
    const int x = (int)(i / 4) % w, y = (int)(i / 4) / w;
    for (int c = 0; c < 3; ++c) {
      if (kind == 0) p[i + c] = (unsigned char)byte(rng);
      if (kind == 1) p[i + c] = percent(rng) < 3 ? (unsigned char)byte(rng) : 0;
      if (kind == 2) p[i + c] = percent(rng) < 1 ? 255 : (unsigned char)((x / 17 + y / 13) * 40 * c);
    }
    p[i + 3] = (unsigned char)byte(rng);
  }
  return p;
}

TEST(GlowBlur, MatchesThePlainLoopsOnRandomFrames) {
  std::mt19937 rng(21);
  const std::pair<int, int> shapes[] = {{1, 57}, {61, 1}, {1, 1}, {3, 250}, {131, 7}, {97, 45}};
  std::uniform_real_distribution<float> distance(0.5f, 20.0f);
  for (int round = 0; round < 40; ++round) {
    auto [w, h] = shapes[round % 6];
    if (round >= 12) {  // any size up to 160 x 90
      w = 1 + (int)(rng() % 160);
      h = 1 + (int)(rng() % 90);
    }
    const float d = round % 5 == 0 ? 0.5f : distance(rng);
    const int quality = 1 + (int)(rng() % 5);
    const int kind = round % 3;
    Bytes got = picture(rng, w, h, kind), want = got;
    RVBlurBitmap2(got.data(), w, h, d, quality);
    glow_reference::blur(want.data(), w, h, d, quality);
    ASSERT_EQ(got, want) << w << "x" << h << " distance " << d << " quality " << quality
                         << " picture " << kind;
  }
}

// out = sum of w[j] * lines[j] from 0.0 in order j = 0 .. m-1, per x.
std::vector<float> plain_sums(const std::vector<const float *> &lines, const std::vector<float> &w,
                              int begin, int end) {
  std::vector<float> out(end, -1.0f);
  for (int x = begin; x < end; ++x) {
    float a = 0.0f;
    for (size_t j = 0; j < w.size(); ++j) a += w[j] * lines[j][x];
    out[x] = a;
  }
  return out;
}

TEST(GlowBlur, EveryVectorWidthGivesThePlainSums) {
  // Sums whose rounding depends on the order of the terms: values over
  // many magnitudes, the lines overlapping at odd offsets as the taps do.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> data(2000);
  for (float &v : data) v = value(rng) * (float)(1 << (rng() % 20));
  using Sum = void (*)(const float *const *, const float *, int, int, int, float *);
  std::vector<Sum> sums = {seqfx_common::weighted_sum_4};
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) sums.push_back(seqfx_common::weighted_sum_8);
  if (__builtin_cpu_supports("avx512f")) sums.push_back(seqfx_common::weighted_sum_16);
  for (int round = 0; round < 60; ++round) {
    const int m = 1 + (int)(rng() % 241);
    std::vector<float> w(m);
    std::vector<const float *> lines(m);
    for (int j = 0; j < m; ++j) {
      w[j] = value(rng);
      lines[j] = data.data() + rng() % 200;
    }
    const int begin = (int)(rng() % 40), end = begin + (int)(rng() % 1500);
    const std::vector<float> want = plain_sums(lines, w, begin, end);
    for (Sum sum : sums) {
      std::vector<float> got(end, -1.0f);
      sum(lines.data(), w.data(), m, begin, end, got.data());
      ASSERT_EQ(0, std::memcmp(got.data(), want.data(), sizeof(float) * end))
          << "taps " << m << " from " << begin << " to " << end;
    }
  }
}

}  // namespace
