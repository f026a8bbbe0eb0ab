// wipeout on random frames of odd sizes against the double-precision mix
// byte by byte: mattes of every byte, strips far apart (where the mix lands
// on whole numbers most often), both directions, and out written over an
// input.

#include "seqfx_test.h"
#include "wipeout_double_mix.h"

#include <random>

using seqfx::Image;

namespace {

using wipeout_test::double_mix;

TEST(WipeoutRandom, MatchesTheMixByteByByte) {
  auto p = seqfx_test::load("wipeout");
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> byte(0, 255), kind(0, 3);
  const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {5, 3}, {4, 4}, {33, 9}, {3, 67}};
  int round = 0;
  for (const auto &size : sizes)
    for (int negative = 0; negative < 2; ++negative)
      for (int alias = 0; alias < 3; ++alias) {
        const int w = size[0], h = size[1];
        // Extremes 0 and 255 and multiples of 15 and 17 in the strips make
        // the numerator a multiple of 255 often.
        auto strip = [&](int) {
          const int k = kind(rng);
          return k == 0 ? (byte(rng) & 1) * 255 : k == 1 ? byte(rng) / 17 * 17 : k == 2 ? byte(rng) / 15 * 15 : byte(rng);
        };
        auto fill = [&](bool matte) {
          return seqfx_test::painted(w, h, [&](int, int) {
            seqfx_test::Pixel px;
            for (auto &c : px) c = (unsigned char)(matte ? byte(rng) : strip(round));
            return px;
          });
        };
        ++round;
        Image a = fill(false), b = fill(false), m = fill(true);
        const Image a0 = seqfx_test::painted(w, h, [&](int x, int y) { return seqfx_test::at(a, x, y); });
        const Image b0 = seqfx_test::painted(w, h, [&](int x, int y) { return seqfx_test::at(b, x, y); });
        p->set_value("mask negative", negative);
        Image fresh(w, h);
        Image &out = alias == 0 ? fresh : alias == 1 ? a : b;
        p->render(1, 0, 0, a, &b, out, &m);
        for (std::size_t i = 0; i < a0.pixels() * 4; ++i) {
          const int x = negative ? b0.rect()[i] : a0.rect()[i], y = negative ? a0.rect()[i] : b0.rect()[i];
          ASSERT_EQ(out.rect()[i], double_mix(x, y, m.rect()[i]))
              << w << "x" << h << " byte " << i << " negative " << negative << " alias " << alias;
        }
      }
}

}  // namespace
