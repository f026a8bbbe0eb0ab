// The beam blur's fast paths (flat windows along rows and down columns,
// the ring of rows, one image blurred in place) against the plain loops,
// on random pictures, sizes and windows.

#include "beamsword_blur_check.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using beamsword_test::Bytes;
using beamsword_test::check_blur;

// Noise, marks of one colour on black, or flat bands with odd pixels; the
// A bytes are noise.
Bytes picture(std::mt19937 &rng, int w, int h, int kind) {
  Bytes p((size_t)w * h * 4);
  std::uniform_int_distribution<int> byte(0, 255), percent(0, 99);
  const unsigned char colour[3] = {250, 60, 20};
  for (size_t i = 0; i < p.size(); i += 4) {
    const int x = (int)(i / 4) % w, y = (int)(i / 4) / w;
    const bool lit = percent(rng) < 2;
    for (int c = 0; c < 3; ++c) {
      if (kind == 0) p[i + c] = (unsigned char)byte(rng);
      if (kind == 1) p[i + c] = (lit || (x + y) % 23 == 0) ? colour[c] : 0;
      if (kind == 2) p[i + c] = lit ? (unsigned char)byte(rng) : (unsigned char)(y / 9 * 50 + c);
    }
    p[i + 3] = (unsigned char)byte(rng);
  }
  return p;
}

TEST(BeamswordBlur, MatchesThePlainLoopsOnRandomFrames) {
  std::mt19937 rng(21);
  const std::pair<int, int> shapes[] = {{1, 57}, {61, 1}, {1, 1}, {2, 130}, {131, 7}, {97, 45}};
  std::uniform_real_distribution<float> amount(0.1f, 20.0f);
  for (int round = 0; round < 40; ++round) {
    auto [w, h] = shapes[round % 6];
    if (round >= 12) {  // any size up to 150 x 80
      w = 1 + (int)(rng() % 150);
      h = 1 + (int)(rng() % 80);
    }
    const float a = amount(rng);
    const int quality = 1 + (int)(rng() % 5);
    const int kind = round % 3;
    const Bytes src = picture(rng, w, h, kind);
    const Bytes dst = picture(rng, w, h, 0);
    SCOPED_TRACE(::testing::Message() << w << "x" << h << " amount " << a << " quality " << quality
                                      << " picture " << kind);
    ASSERT_NO_FATAL_FAILURE(check_blur(src, dst, w, h, a, quality));
  }
}

// A patchwork of cells of a few colours, a few rows high and wider than a
// block of sums, so that flat stretches of a row sit above flat stretches of
// another colour, or of the same colour again after a different one.
TEST(BeamswordBlur, FlatCellsOfChangingColoursMatchThePlainLoops) {
  std::mt19937 rng(8);
  const unsigned char palette[4][3] = {{0, 0, 0}, {250, 60, 20}, {250, 60, 21}, {9, 200, 255}};
  for (int round = 0; round < 16; ++round) {
    const int w = 40 + (int)(rng() % 120), h = 8 + (int)(rng() % 50);
    const int cw = 5 + (int)(rng() % 40), ch = 1 + (int)(rng() % 6);
    std::vector<int> cell((size_t)(w / cw + 1) * (h / ch + 1));
    for (int &c : cell) c = (int)(rng() % 4);
    Bytes src((size_t)w * h * 4);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 4; ++c)
          src[4 * ((size_t)y * w + x) + c] =
              c == 3 ? (unsigned char)rng() : palette[cell[(size_t)(y / ch) * (w / cw + 1) + x / cw]][c];
    const float a = 0.5f + (float)(rng() % 60) / 10.0f;
    const int quality = 1 + (int)(rng() % 3);
    const Bytes dst = picture(rng, w, h, 0);
    SCOPED_TRACE(::testing::Message() << w << "x" << h << " cells " << cw << "x" << ch << " amount " << a
                                      << " quality " << quality);
    ASSERT_NO_FATAL_FAILURE(check_blur(src, dst, w, h, a, quality));
  }
}

}  // namespace
