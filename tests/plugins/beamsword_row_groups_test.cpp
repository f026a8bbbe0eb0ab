// The beam blur where its rows are summed in groups and where they are not:
// heights around the group's size and the window's length, windows far
// taller than the frame, black and flat pictures with dots, into another
// image and in place.

#include "beamsword_blur_check.h"
#include "row_sums.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using beamsword_test::Bytes;
using beamsword_test::check_blur;

// Flat colour with lit dots at the given chance in a thousand (the flat
// blocks and the summed ones side by side), or black where colour is 0.
Bytes dots(std::mt19937 &rng, int w, int h, int per_mille, unsigned char colour) {
  Bytes p((size_t)w * h * 4);
  for (size_t i = 0; i < p.size(); i += 4) {
    const bool lit = (int)(rng() % 1000) < per_mille;
    for (int c = 0; c < 3; ++c)
      p[i + c] = lit ? (unsigned char)rng() : (unsigned char)(colour >> c);
    p[i + 3] = (unsigned char)rng();
  }
  return p;
}

TEST(BeamswordRowGroups, MatchesThePlainLoopsAroundGroupAndWindowSizes) {
  std::mt19937 rng(8);
  const int R = seqfx_common::kRowSums;
  for (float amount : {0.7f, 2.0f, 5.0f}) {
    const int quality = 1 + (int)(rng() % 3);
    const int n = (int)((float)quality * amount), taps = 2 * n + 1;
    const int heights[] = {1, 2, 3, R - 1, R, R + 1, 2 * R + 3, taps - 1, taps, taps + R, 3 * taps};
    for (int h : heights) {
      if (h < 1) continue;
      const int w = 1 + (int)(rng() % 60);
      for (int kind = 0; kind < 4; ++kind) {
        const int per_mille = kind == 0 ? 0 : (kind == 1 ? 5 : (kind == 2 ? 100 : 1000));
        const Bytes src = dots(rng, w, h, per_mille, kind == 1 ? 0 : 200);
        const Bytes dst = dots(rng, w, h, 1000, 0);
        SCOPED_TRACE(::testing::Message() << w << "x" << h << " amount " << amount << " quality "
                                          << quality << " kind " << kind);
        ASSERT_NO_FATAL_FAILURE(check_blur(src, dst, w, h, amount, quality));
      }
    }
  }
}

}  // namespace
