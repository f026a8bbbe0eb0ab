// reflect: the mirrors and the half turn, toggles that count only at
// exactly 1, aliased and odd-sized images.

#include "geometry_support.h"

using geometry_test::positions;
using geometry_test::where;
using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

using Pos = std::pair<int, int>;

class Reflect : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("reflect"); }
  void set(int flip, int flop) {
    geometry_test::poke(*p, "Flip", flip);
    geometry_test::poke(*p, "Flop", flop);
  }
  Image run(int w, int h) {
    Image src = positions(w, h), out(w, h);
    p->render(1, 0, 0, src, nullptr, out);
    return out;
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Reflect, Table) {
  geometry_test::expect_table(*p, "Reflect 0.3",
      {{"Input: 1 Strip", 0x1400, 0, 0, 0, ""},
       {"Flip", 0x0660, 1, 0, 1, "Flip the image"},
       {"Flop", 0x0660, 1, 0, 1, "Flop the image"}});
  EXPECT_EQ(p->int_slot(1), 1);
  EXPECT_EQ(p->int_slot(2), 1);
}

TEST_F(Reflect, EveryCombinationOnOddSizes) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}, {3, 1}})
    for (int flip : {0, 1})
      for (int flop : {0, 1}) {
        set(flip, flop);
        Image out = run(w, h);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            ASSERT_EQ(where(out, x, y), (Pos{flop ? w - 1 - x : x, flip ? h - 1 - y : y}))
                << w << "x" << h << " flip " << flip << " flop " << flop;
        EXPECT_EQ(at(out, 0, 0)[3], 200);
      }
}

TEST_F(Reflect, DefaultsGiveTheHalfTurn) {
  Image src = seqfx_test::test_picture(7, 5), out(7, 5);
  p->render(1, 0, 0, src, nullptr, out);
  for (size_t i = 0; i < 35; ++i)
    ASSERT_EQ(std::memcmp(out.rect() + 4 * i, src.rect() + 4 * (34 - i), 4), 0) << i;
}

TEST_F(Reflect, TogglesCountOnlyAtExactlyOne) {
  for (int v : {2, -1, 0x100, 0x10001}) {
    set(v, v);
    EXPECT_TRUE(seqfx_test::same_pixels(run(7, 5), positions(7, 5))) << v;
    set(1, v);
    EXPECT_EQ(where(run(7, 5), 0, 0), (Pos{0, 4})) << v;
    set(v, 1);
    EXPECT_EQ(where(run(7, 5), 0, 0), (Pos{6, 0})) << v;
  }
}

TEST_F(Reflect, InPlace) {
  for (int flip : {0, 1})
    for (int flop : {0, 1}) {
      set(flip, flop);
      Image expected = run(37, 23);
      Image same = positions(37, 23);
      p->call(1, 0, 0, 37, 23, same.record(), nullptr, same.record(), nullptr);
      EXPECT_TRUE(seqfx_test::same_pixels(same, expected)) << flip << flop;
    }
}

// The picture is ibuf1 at its own size; an output of another size gets the
// part of the mirrored picture that falls inside it.
TEST_F(Reflect, OutputOfAnotherSize) {
  set(1, 1);
  Image src = positions(37, 23);
  Image small(7, 5);
  p->call(1, 0, 0, 37, 23, src.record(), nullptr, small.record(), nullptr);
  EXPECT_EQ(where(small, 0, 0), (Pos{36, 22}));
  EXPECT_EQ(where(small, 6, 4), (Pos{30, 18}));
  Image large = seqfx_test::solid(40, 30, {1, 2, 3, 4});
  Image src2 = positions(7, 5);
  p->call(1, 0, 0, 40, 30, src2.record(), nullptr, large.record(), nullptr);
  EXPECT_EQ(where(large, 0, 0), (Pos{6, 4}));
  EXPECT_EQ(at(large, 7, 0), (Pixel{1, 2, 3, 4}));
  EXPECT_EQ(at(large, 0, 5), (Pixel{1, 2, 3, 4}));
  Image none(7, 5, false);
  p->call(1, 0, 0, 7, 5, none.record(), nullptr, small.record(), nullptr);
  p->call(1, 0, 0, 7, 5, src.record(), nullptr, none.record(), nullptr);
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, small.record(), nullptr);
  EXPECT_EQ(where(small, 0, 0), (Pos{36, 22}));
}

TEST_F(Reflect, ArbitrarySlotBytesFactorsAndSizes) { geometry_test::shake_slots(*p, 1); }

}  // namespace
