// paintcut against a pixel-by-pixel model on random frames of odd sizes,
// with keys and tolerances of every kind, so that the four-pixel path and
// the tail give the same bytes as the plain box test.

#include "seqfx_test.h"

#include <cstring>
#include <random>

using seqfx::Image;

namespace {

// Bytes clustered around the key, so that the box both hits and misses.
Image near_key(int w, int h, const int key[3], std::mt19937 &rng) {
  std::uniform_int_distribution<int> spread(-40, 40), any(0, 255), coin(0, 3);
  return seqfx_test::painted(w, h, [&](int, int) {
    seqfx_test::Pixel px;
    for (int c = 0; c < 3; ++c) {
      const int v = coin(rng) ? key[c] + spread(rng) : any(rng);
      px[c] = (unsigned char)(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
    px[3] = (unsigned char)any(rng);
    return px;
  });
}

TEST(PaintcutRandom, MatchesThePlainBoxTest) {
  std::mt19937 rng(21);
  const int sizes[][2] = {{1, 1}, {1, 13}, {13, 1}, {3, 5}, {7, 9}, {64, 3}, {5, 31}};
  const int tolerances[] = {0, 1, 17, 40, 255, -3, 100000, -2147483647};
  auto p = seqfx_test::load("paintcut");
  std::uniform_int_distribution<int> byte(0, 255);
  for (const auto &size : sizes)
    for (int tol : tolerances)
      for (int with_second = 0; with_second < 2; ++with_second) {
        const int w = size[0], h = size[1];
        const int key[3] = {byte(rng), byte(rng), byte(rng)};
        p->set_value("Red:", key[0]);
        p->set_value("Green:", key[1]);
        p->set_value("Blue:", key[2]);
        std::memcpy(p->slot(p->find_row("Tolerance:")), &tol, 4);  // also beyond the table
        Image a = near_key(w, h, key, rng), b = seqfx_test::test_picture(w, h, (unsigned)tol);
        Image out(w, h);
        seqfx_test::Console quiet;
        p->render(1, 0, 0, a, with_second ? &b : nullptr, out);
        quiet.finish();
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            bool inside = true;
            for (int c = 0; c < 3; ++c) {
              const long long lo = (long long)key[c] - tol, hi = (long long)key[c] + tol;
              const int v = a.pixel(x, y)[c];
              inside = inside && v >= (lo < 0 ? 0 : lo) && v <= (hi > 255 ? 255 : hi);
            }
            seqfx_test::Pixel want = seqfx_test::at(a, x, y);
            if (inside) want = with_second ? seqfx_test::at(b, x, y) : seqfx_test::Pixel{0, 0, 0, 0};
            ASSERT_EQ(seqfx_test::at(out, x, y), want)
                << w << "x" << h << " at " << x << "," << y << " tolerance " << tol;
          }
      }
}

}  // namespace
