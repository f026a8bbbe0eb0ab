// Several output rows summed together against one weighted sum per row, and
// the blur on the frame shapes where the grouped rows meet the single ones:
// heights around the window's length and the group's size, the mirrored
// rows at the top, black and nearly black pictures.

#include "blur.h"
#include "glow_reference.h"
#include "row_sums.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using seqfx_common::kRowSums;
using Bytes = std::vector<unsigned char>;
using RowSums = void (*)(const float *const *, const float *, int, int, int, float *const *);

TEST(GlowRowSums, EachRowGetsItsOwnPlainSum) {
  // Terms over many magnitudes, so that any regrouping of a row's terms
  // shows in its rounding; rows repeated in the list as held edges are.
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> data(3000);
  for (float &v : data) v = value(rng) * (float)(1 << (rng() % 20));
  std::vector<RowSums> forms = {seqfx_common::row_sums_4, seqfx_common::row_sums};
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) forms.push_back(seqfx_common::row_sums_8);
  if (__builtin_cpu_supports("avx512f")) forms.push_back(seqfx_common::row_sums_16);
  for (int round = 0; round < 80; ++round) {
    // row_sums itself also takes windows shorter than the group.
    const int m = round < 8 ? 1 + round : kRowSums + (int)(rng() % 130);
    std::vector<float> w(m);
    for (float &v : w) v = value(rng);
    std::vector<const float *> rows(m + kRowSums - 1);
    for (auto &r : rows) r = data.data() + rng() % 300;
    if (round % 3 == 0) rows[rng() % rows.size()] = rows[0];
    const int begin = (int)(rng() % 40), end = begin + (int)(rng() % 1200);
    std::vector<std::vector<float>> want(kRowSums, std::vector<float>(end, -1.0f));
    for (int s = 0; s < kRowSums; ++s)
      for (int x = begin; x < end; ++x) {
        float a = 0.0f;
        for (int j = 0; j < m; ++j) a += w[j] * rows[s + j][x];
        want[s][x] = a;
      }
    // The vector forms themselves need at least kRowSums terms.
    for (size_t f = 0; f < (m < kRowSums ? 2 : forms.size()); ++f) {
      if (m < kRowSums && f == 0) continue;
      std::vector<std::vector<float>> got(kRowSums, std::vector<float>(end, -1.0f));
      float *outs[kRowSums];
      for (int s = 0; s < kRowSums; ++s) outs[s] = got[s].data();
      forms[f](rows.data(), w.data(), m, begin, end, outs);
      for (int s = 0; s < kRowSums; ++s)
        ASSERT_EQ(0, std::memcmp(got[s].data(), want[s].data(), sizeof(float) * end))
            << "form " << f << " row " << s << " taps " << m << " from " << begin << " to " << end;
    }
  }
}

// Lit pixels with the given chance in a thousand (0: all black), A noise.
Bytes dots(std::mt19937 &rng, int w, int h, int per_mille) {
  Bytes p((size_t)w * h * 4);
  for (size_t i = 0; i < p.size(); i += 4) {
    const bool lit = (int)(rng() % 1000) < per_mille;
    for (int c = 0; c < 3; ++c) p[i + c] = lit ? (unsigned char)(1 + rng() % 255) : 0;
    p[i + 3] = (unsigned char)rng();
  }
  return p;
}

TEST(GlowRowSums, BlurMatchesThePlainLoopsWhereRowGroupsStartAndStop) {
  std::mt19937 rng(33);
  const int densities[] = {0, 1, 30, 1000};
  for (int quality = 1; quality <= 3; ++quality)
    for (float distance : {0.5f, 1.5f, 3.0f}) {
      const int n = (int)((float)(quality + 1) * distance), taps = 2 * n;
      // Heights: 1 .. 3 rows, one group and a row either side, and around
      // the window's length, where plain and mirrored rows meet.
      const int heights[] = {1,        2,        3,        kRowSums - 1, kRowSums, kRowSums + 1,
                             taps - 1, taps,     taps + 1, taps + 3,     taps + 5, 2 * taps + 7};
      for (int h : heights) {
        if (h < 1) continue;
        const int w = 1 + (int)(rng() % 70);
        for (int density : densities) {
          Bytes got = dots(rng, w, h, density), want = got;
          RVBlurBitmap2(got.data(), w, h, distance, quality);
          glow_reference::blur(want.data(), w, h, distance, quality);
          ASSERT_EQ(got, want) << w << "x" << h << " distance " << distance << " quality "
                               << quality << " lit per mille " << density;
        }
      }
    }
}

}  // namespace
