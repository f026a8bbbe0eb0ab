// tonecut's keying pass: every lane path against the one-pixel path, on
// planes whose values sit on, near and far from the key, with settings
// beyond the table's ranges, runs of every length up to three groups of
// sixteen, and the output over either input. The module itself uses only the
// widest path the processor offers, so the others are reached here.

#include "key_mix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using tonecut::LanePath;

const LanePath kPaths[] = {LanePath::lanes, LanePath::avx2, LanePath::avx512};
const char *kNames[] = {"lanes", "avx2", "avx512"};

float odd_value(std::mt19937 &rng) {
  const float values[] = {NAN, INFINITY, -INFINITY, 0.0f, -0.0f, -0.5f, 1e-40f, 3.0f};
  return values[rng() % 8];
}

TEST(TonecutLanes, EveryPathKeysAsOnePixelAtATime) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<float> unit(0, 1), near(-0.12f, 0.12f);
  for (int round = 0; round < 1000; ++round) {
    tonecut::Key key;
    key.y_on = rng() % 3 != 0, key.u_on = rng() % 3 != 0, key.v_on = rng() % 3 != 0;
    float *keys[] = {&key.y, &key.u, &key.v}, *tols[] = {&key.tol_y, &key.tol_u, &key.tol_v};
    for (int c = 0; c < 3; ++c) {
      *keys[c] = rng() % 10 == 0 ? odd_value(rng) : unit(rng);
      *tols[c] = rng() % 10 == 0 ? odd_value(rng) : 0.01f + 0.3f * unit(rng);
    }
    key.blend = rng() % 6 == 0 ? odd_value(rng) : rng() % 5 == 0 ? 0.0f : unit(rng);

    const long n = round % 50;
    std::vector<float> planes[3];
    for (int c = 0; c < 3; ++c)
      for (long i = 0; i < n; ++i) {
        const int kind = rng() % 4;  // on the key, near it, anywhere
        planes[c].push_back(kind == 0 ? *keys[c] : kind == 1 ? *keys[c] + near(rng) : unit(rng));
      }
    std::vector<unsigned char> fg(4 * n), bg(4 * n);
    for (long i = 0; i < 4 * n; ++i) fg[i] = (unsigned char)rng(), bg[i] = (unsigned char)rng();

    std::vector<unsigned char> want(4 * n);
    tonecut::key_run(LanePath::plain, key, planes[0].data(), planes[1].data(), planes[2].data(), fg.data(),
                     bg.data(), want.data(), n);
    for (int k = 0; k < 3; ++k) {
      if (!tonecut::lane_path_available(kPaths[k])) continue;
      for (int target = 0; target < 3; ++target) {
        std::vector<unsigned char> f = fg, b = bg, out(4 * n, 9);
        unsigned char *dst = target == 0 ? out.data() : target == 1 ? f.data() : b.data();
        tonecut::key_run(kPaths[k], key, planes[0].data(), planes[1].data(), planes[2].data(), f.data(),
                         b.data(), dst, n);
        ASSERT_EQ(std::vector<unsigned char>(dst, dst + 4 * n), want)
            << kNames[k] << " round " << round << " n " << n << " output over " << target << " blend "
            << key.blend;
      }
    }
  }
}

TEST(TonecutLanes, WeightsAtTheBlendEdgeMatchOnePixelAtATime) {
  // Distances whose mean lands within a few hundred floats of Blend, where
  // a quick estimate of the mean cannot tell above from below: the lanes
  // must still give the one-pixel bytes, with one, two or three channels.
  std::mt19937 rng(5);
  for (int channels = 1; channels <= 3; ++channels)
    for (float blend : {0.1f, 0.37f, 0.5f, 0.9f}) {
      tonecut::Key key = {true, channels > 1, channels > 2, 0.5f, 0.4f, 0.6f, 0.1f, 0.07f, 0.13f, blend};
      const long n = 16 * 40;
      std::vector<float> planes[3];
      const float keys[] = {key.y, key.u, key.v}, tols[] = {key.tol_y, key.tol_u, key.tol_v};
      for (long i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) {
          // A term of 1 - d / tol equal to Blend, moved by a few hundred floats.
          float d = tols[c] * (1.0f - blend);
          for (int step = (int)(i % 400) - 200; step != 0; step += step > 0 ? -1 : 1)
            d = std::nextafter(d, step > 0 ? 1.0f : 0.0f);
          planes[c].push_back(keys[c] + (rng() % 2 ? d : -d));
        }
      std::vector<unsigned char> fg(4 * n), bg(4 * n), want(4 * n);
      for (long i = 0; i < 4 * n; ++i) fg[i] = (unsigned char)rng(), bg[i] = (unsigned char)rng();
      tonecut::key_run(LanePath::plain, key, planes[0].data(), planes[1].data(), planes[2].data(), fg.data(),
                       bg.data(), want.data(), n);
      for (int k = 0; k < 3; ++k) {
        if (!tonecut::lane_path_available(kPaths[k])) continue;
        std::vector<unsigned char> out(4 * n);
        tonecut::key_run(kPaths[k], key, planes[0].data(), planes[1].data(), planes[2].data(), fg.data(),
                         bg.data(), out.data(), n);
        ASSERT_EQ(out, want) << kNames[k] << " channels " << channels << " blend " << blend;
      }
    }
}

}  // namespace
