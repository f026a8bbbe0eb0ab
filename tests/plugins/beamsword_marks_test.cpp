// Marking writes the whole mark image: the reached pixels in the colour with
// A 0, every other pixel as four zero bytes, whatever the image held before.
// Held against the plain fills onto a black image.

#include "beamsword_reference.h"
#include "expand.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

TEST(BeamswordMarks, OverwriteEveryPixelAsPaintingOntoBlackWould) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> byte(0, 255), percent(0, 99);
  const int thresholds[] = {1, 0, 254, 255, -1, 300};
  for (int round = 0; round < 60; ++round) {
    const int w = 1 + (int)(rng() % 45), h = 1 + (int)(rng() % 30);
    const int expand = (int)(rng() % 6) - 1;
    const int threshold = round % 8 < 6 ? thresholds[round % 6] : byte(rng);
    const unsigned char colour[3] = {(unsigned char)byte(rng), (unsigned char)byte(rng),
                                     (unsigned char)byte(rng)};
    // Mostly dark pixels, whose channels sit around the threshold, with a
    // few bright ones; A is noise and never makes a source.
    Bytes src((size_t)w * h * 4);
    for (size_t i = 0; i < src.size(); ++i) {
      const bool bright = percent(rng) < 4;
      src[i] = i % 4 == 3 ? (unsigned char)byte(rng)
                          : (unsigned char)(bright ? byte(rng) : byte(rng) % 3);
    }
    Bytes want(src.size(), 0), got(src.size());
    for (auto &b : got) b = (unsigned char)byte(rng);
    beamsword_reference::expand(src.data(), want.data(), w, h, expand, threshold, colour);
    expandPixels(src.data(), got.data(), w, h, expand, threshold, colour[0], colour[1], colour[2]);
    ASSERT_EQ(got, want) << w << "x" << h << " expand " << expand << " threshold " << threshold;
  }
}

}  // namespace
