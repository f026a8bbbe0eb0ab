// speckle: one draw per pixel in memory order, the threshold, the seed that
// stays or advances, and the missing-strip message.

#include "transition_support.h"

#include <cstdlib>

using seqfx::Image;
using transition::strips_shown;

namespace {

// What a call seeded with `seed` shows on n pixels at factor f.
std::vector<int> expected(unsigned seed, size_t n, float f) {
  const int threshold = (int)(f * 32767.0f);
  std::srand(seed);
  std::vector<int> m(n);
  for (size_t i = 0; i < n; ++i) m[i] = std::rand() % 32768 > threshold ? 1 : 2;
  return m;
}

class Speckle : public ::testing::Test {
 protected:
  // A private copy: the seed counter starts at 0 in every test.
  void SetUp() override { p = seqfx_test::load("speckle", true); }
  std::vector<int> shown(int w, int h, float f) { return strips_shown(transition::render(*p, w, h, f)); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Speckle, Table) {
  EXPECT_EQ(p->display_name(), "Speckle");
  ASSERT_EQ(p->row_count(), 2);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "In: 2 strips");
  EXPECT_EQ(seqfx::row_label(p->row(1)), "shimmer");
  EXPECT_EQ(seqfx::row_tip(p->row(1)), "increment seed each frame");
  EXPECT_EQ(p->symbol("name"), nullptr);  // a string constant, not an array
}

TEST_F(Speckle, OneDrawPerPixelInMemoryOrder) {
  struct Size { int w, h; };
  for (Size z : {Size{1, 1}, Size{7, 5}, Size{37, 23}, Size{300, 200}})
    for (float f : {0.0f, 0.001f, 0.25f, 0.5f, 0.9f, 1.0f})
      ASSERT_EQ(shown(z.w, z.h, f), expected(0, (size_t)z.w * z.h, f)) << z.w << "x" << z.h << " " << f;
}

TEST_F(Speckle, EndsAndGrowth) {
  // At 0 only draws of exactly 0 show ibuf2; at 1 every pixel does.
  const auto none = shown(300, 200, 0.0f);
  std::srand(0);
  for (size_t i = 0; i < none.size(); ++i) ASSERT_EQ(none[i], std::rand() % 32768 == 0 ? 2 : 1);
  for (int v : shown(300, 200, 1.0f)) ASSERT_EQ(v, 2);
  // A pixel showing ibuf2 keeps showing it as the factor grows, and the
  // share follows the factor.
  std::vector<int> before = shown(300, 200, 0.1f);
  for (float f : {0.2f, 0.5f, 0.8f}) {
    const auto now = shown(300, 200, f);
    size_t second = 0;
    for (size_t i = 0; i < now.size(); ++i) {
      if (before[i] == 2) {
        ASSERT_EQ(now[i], 2) << f << " pixel " << i;
      }
      second += now[i] == 2;
    }
    EXPECT_NEAR((double)second / now.size(), f, 0.01);
    before = now;
  }
}

TEST_F(Speckle, ShimmerAdvancesTheSeedPerCallEvenWithoutStrips) {
  // Without shimmer every call uses seed 0.
  EXPECT_EQ(shown(37, 23, 0.5f), shown(37, 23, 0.5f));
  p->set_value("shimmer", 1);
  EXPECT_EQ(shown(37, 23, 0.5f), expected(0, 37 * 23, 0.5f));
  EXPECT_EQ(shown(37, 23, 0.5f), expected(1, 37 * 23, 0.5f));
  // A call with a missing strip prints and still advances the seed (to 3).
  Image a = transition::strip(1, 37, 23), out(37, 23);
  seqfx_test::Console con;
  p->call(1, 0.5f, 0, 37, 23, a.record(), nullptr, out.record(), nullptr);
  con.finish();
  EXPECT_EQ(con.out(), "Not linked to 2 buffers!\n");
  p->set_value("shimmer", 0);
  EXPECT_EQ(shown(37, 23, 0.5f), expected(3, 37 * 23, 0.5f));
  EXPECT_EQ(shown(37, 23, 0.5f), expected(3, 37 * 23, 0.5f));
}

TEST_F(Speckle, FactorsBeyondTheRange) {
  EXPECT_EQ(shown(37, 23, 3.0f), expected(0, 37 * 23, 1.0f));
  EXPECT_EQ(shown(37, 23, -3.0f), expected(0, 37 * 23, 0.0f));
  EXPECT_EQ(shown(37, 23, std::nanf("")), expected(0, 37 * 23, 0.0f));
}

TEST_F(Speckle, GuardsAndSmallImages) {
  const std::string said = transition::check_guards(*p, 0.5f);
  EXPECT_EQ(said.find("Not linked to 2 buffers!\n"), 0u);
  transition::check_aliasing(*p, 37, 23, 0.5f);
  // A smaller ibuf2 ends the walk at its last pixel (its 6th, in memory order).
  Image a = transition::strip(1, 7, 5), b = transition::strip(2, 3, 2);
  Image out = seqfx_test::solid(7, 5, {7, 7, 7, 7});
  p->call(1, 1.0f, 0, 7, 5, a.record(), b.record(), out.record(), nullptr);
  EXPECT_EQ(seqfx_test::at(out, 5, 0), transition::tag(2, 2, 1));
  EXPECT_EQ(seqfx_test::at(out, 6, 0), (seqfx_test::Pixel{7, 7, 7, 7}));
  EXPECT_EQ(seqfx_test::at(out, 0, 0), transition::tag(2, 0, 0));
}

}  // namespace
