// The matte mix in integers against the double-precision mix it stands
// for: every strip and matte byte triple, every vector width this
// processor runs, runs of every short length, and whole frames through the
// module with the output over an input.

#include "matte_mix.h"
#include "seqfx_test.h"
#include "wipeout_double_mix.h"

#include <random>
#include <vector>

using seqfx::Image;

namespace {

using wipeout_test::double_mix;

TEST(WipeoutMix, IntegerRuleIsTheDoubleMixForEveryTriple) {
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b)
      for (int v = 0; v < 256; ++v)
        ASSERT_EQ(wipeout::mix_byte(a, b, v), double_mix(a, b, v)) << a << " " << b << " " << v;
}

using Run = long (*)(const unsigned char *, const unsigned char *, const unsigned char *,
                     unsigned char *, long);

struct Width {
  const char *name;
  Run run;
  int lanes;
};

// The runs the build and this processor can execute.
std::vector<Width> widths() {
  std::vector<Width> w;
  const int widest = wipeout::widest_run();
  if (widest >= 16) w.push_back({"16", wipeout::mix_16, 16});
  if (widest >= 32) w.push_back({"32", wipeout::mix_32, 32});
  if (widest >= 64) w.push_back({"64", wipeout::mix_64, 64});
  return w;
}

// All 2^24 triples in one run, long enough for the stores that bypass the
// cache, with the output one byte off alignment and then over the first
// strip.
TEST(WipeoutMix, EveryWidthGivesTheRuleOnEveryTriple) {
  const long n = 1L << 24;
  std::vector<unsigned char> a(n), b(n), v(n);
  for (long i = 0; i < n; ++i) a[i] = (unsigned char)(i >> 16), b[i] = (unsigned char)(i >> 8), v[i] = (unsigned char)i;
  for (const Width &w : widths())
    for (int alias = 0; alias < 2; ++alias) {
      std::vector<unsigned char> out(n + 1, 7), a2 = a;
      unsigned char *dst = alias ? a2.data() : out.data() + 1;
      const long done = w.run(a2.data(), b.data(), v.data(), dst, n);
      ASSERT_GT(done, n - w.lanes) << w.name;
      ASSERT_LE(done, n) << w.name;
      for (long i = 0; i < done; ++i)
        ASSERT_EQ(dst[i], wipeout::mix_byte(a[i], b[i], v[i])) << "width " << w.name << " byte " << i << " alias " << alias;
      for (long i = done; i < n; ++i) ASSERT_EQ(dst[i], alias ? a[i] : 7) << w.name;
    }
}

// Short runs, each in buffers of exactly its length (the sanitizer build
// sees any byte read or written past them), at every offset to a vector.
TEST(WipeoutMix, ShortRunsStayInsideTheirBytes) {
  std::mt19937 rng(11);
  for (long n = 0; n <= 200; ++n) {
    std::vector<unsigned char> a(n), b(n), v(n), out(n), want(n);
    for (long i = 0; i < n; ++i) {
      a[i] = (unsigned char)rng(), b[i] = (unsigned char)rng(), v[i] = (unsigned char)rng();
      want[i] = wipeout::mix_byte(a[i], b[i], v[i]);
    }
    for (const Width &w : widths()) {
      std::fill(out.begin(), out.end(), 7);
      const long done = w.run(a.data(), b.data(), v.data(), out.data(), n);
      ASSERT_GE(done, n - w.lanes + 1) << w.name << " n " << n;
      for (long i = 0; i < n; ++i) ASSERT_EQ(out[i], i < done ? want[i] : 7) << w.name << " n " << n << " byte " << i;
    }
    wipeout::mix(a.data(), b.data(), v.data(), out.data(), n);
    ASSERT_EQ(out, want) << "n " << n;
  }
}

// Frames through the module: every count of trailing bytes past a vector,
// and a full HD frame, with matte bytes that land on whole numbers often.
TEST(WipeoutMix, FramesMatchTheDoubleMix) {
  auto p = seqfx_test::load("wipeout");
  std::mt19937 rng(5);
  std::vector<std::pair<int, int>> sizes = {{1920, 1080}, {1921, 3}};
  for (int w = 1; w <= 17; ++w) sizes.push_back({w, 1 + w % 3});
  for (const auto &size : sizes)
    for (int alias = 0; alias < 3; ++alias) {
      const int w = size.first, h = size.second;
      auto byte = [&] {
        const unsigned r = rng();
        return (unsigned char)(r % 4 == 0 ? (r >> 8) % 2 * 255 : r % 4 == 1 ? (r >> 8) % 16 * 17 : r >> 8);
      };
      auto fill = [&] {
        return seqfx_test::painted(w, h, [&](int, int) {
          return seqfx_test::Pixel{byte(), byte(), byte(), byte()};
        });
      };
      Image a = fill(), b = fill(), m = fill(), fresh(w, h);
      const std::vector<unsigned char> a0(a.rect(), a.rect() + 4 * a.pixels()), b0(b.rect(), b.rect() + 4 * b.pixels());
      p->set_value("mask negative", alias == 2);
      Image &out = alias == 0 ? fresh : alias == 1 ? a : b;
      p->render(1, 0, 0, a, &b, out, &m);
      for (std::size_t i = 0; i < a0.size(); ++i) {
        const int x = alias == 2 ? b0[i] : a0[i], y = alias == 2 ? a0[i] : b0[i];
        ASSERT_EQ(out.rect()[i], double_mix(x, y, m.rect()[i])) << w << "x" << h << " byte " << i << " alias " << alias;
      }
    }
}

}  // namespace
