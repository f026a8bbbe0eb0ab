// invisible on random frames and settings against a direct scan of every
// window: sizes that leave every count of columns past a vector, radii from
// 1 past the frame's size, tolerances, chances and seeds both inside and
// far outside their table ranges (written straight into the slots), and
// the generator left where the scan leaves it.

#include "seqfx_test.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using seqfx::Image;

namespace {

enum Row { kRadius = 1, kTol, kChance, kSeed };

struct Settings {
  int radius;
  float tolerance;
  int chance;
  float seed;
};

// The effect with every window scanned pixel by pixel.
Image direct(const Image &a, const Image &b, const Settings &s) {
  const int w = a.width(), h = a.height();
  std::vector<char> differs((size_t)w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int d = 0;
      for (int k = 0; k < 3; ++k) d += std::abs(a.pixel(x, y)[k] - b.pixel(x, y)[k]);
      differs[(size_t)y * w + x] = (float)d > s.tolerance;
    }
  const long long r = s.radius;
  std::srand(s.seed >= 1.0f && s.seed < 4294967296.0f ? (unsigned)s.seed : 0u);
  Image out(w, h);
  std::memcpy(out.rect(), a.rect(), 4 * a.pixels());
  if (r <= 0) return out;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (!differs[(size_t)y * w + x]) continue;
      const int x0 = (int)std::max(x - r, 0LL), x1 = (int)std::min(x + r, (long long)w);
      const int y0 = (int)std::max(y - r, 0LL), y1 = (int)std::min(y + r, (long long)h);
      bool border = false;
      for (int j = y0; j < y1 && !border; ++j)
        for (int i = x0; i < x1 && !border; ++i) border = !differs[(size_t)j * w + i];
      if (!border || (std::rand() % 32768) % 100 >= s.chance) continue;
      for (int k = 0; k < 4; ++k) {
        long sum = 0;
        for (int j = y0; j < y1; ++j)
          for (int i = x0; i < x1; ++i) sum += a.pixel(i, j)[k];
        out.pixel(x, y)[k] = (unsigned char)(sum / ((long)(x1 - x0) * (y1 - y0)));
      }
    }
  return out;
}

TEST(InvisibleRandom, MatchesTheDirectScan) {
  auto p = seqfx_test::load("invisible");
  std::mt19937 rng(17);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const int radii[] = {0, -4, INT_MAX, 2001, 100000};
  const float tolerances[] = {nan, -1.0f, std::numeric_limits<float>::infinity()};
  const int chances[] = {-5, 150, INT_MIN};
  const float seeds[] = {1e10f, nan, -2.0f, 4294967296.0f};
  for (int round = 0; round < 160; ++round) {
    const int w = round < 48 ? round + 1 : 1 + (int)(rng() % 70), h = 1 + (int)(rng() % 30);
    Settings s{1 + (int)(rng() % 12), (float)(rng() % 120) / 2.0f, (int)(rng() % 101), (float)(rng() % 300) / 100.0f};
    if (rng() % 5 == 0) s.radius = rng() % 2 ? radii[rng() % 5] : 1 + (int)(rng() % 80);
    if (rng() % 6 == 0) s.tolerance = tolerances[rng() % 3];
    if (rng() % 6 == 0) s.chance = chances[rng() % 3];
    if (rng() % 6 == 0) s.seed = seeds[rng() % 4];
    std::memcpy(p->slot(kRadius), &s.radius, 4);
    std::memcpy(p->slot(kTol), &s.tolerance, 4);
    std::memcpy(p->slot(kChance), &s.chance, 4);
    std::memcpy(p->slot(kSeed), &s.seed, 4);

    // A plate and the scene over it: blocks of other colours, and noise
    // around the tolerance everywhere.
    Image plate = seqfx_test::test_picture(w, h, round + 1);
    Image scene(w, h);
    std::memcpy(scene.rect(), plate.rect(), 4 * plate.pixels());
    for (int blocks = rng() % 4; blocks > 0; --blocks) {
      const int bx = rng() % w, by = rng() % h, bw = 1 + rng() % w, bh = 1 + rng() % h;
      for (int y = by; y < std::min(h, by + bh); ++y)
        for (int x = bx; x < std::min(w, bx + bw); ++x)
          for (int k = 0; k < 4; ++k) scene.pixel(x, y)[k] = (unsigned char)(scene.pixel(x, y)[k] + 60 + 20 * k);
    }
    for (std::size_t i = 0; i < 4 * scene.pixels(); ++i)
      if (rng() % 3 == 0) scene.rect()[i] = (unsigned char)(scene.rect()[i] + rng() % 15 - 7);

    const Image want = direct(scene, plate, s);
    const int next = std::rand();
    // The output over the plate every third round (the plate is read
    // only for the difference mask, before any output is written).
    Image fresh(w, h);
    Image &out = round % 3 == 0 ? plate : fresh;
    p->render(1, 0, 0, scene, &plate, out);
    ASSERT_EQ(std::rand(), next) << "round " << round;
    ASSERT_EQ(std::memcmp(out.rect(), want.rect(), 4 * want.pixels()), 0)
        << "round " << round << ", " << w << "x" << h << " radius " << s.radius << " tolerance "
        << s.tolerance << " chance " << s.chance << " seed " << s.seed;
  }
}

}  // namespace
