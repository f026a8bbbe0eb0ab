// jitter: one random offset per frame, repeatable for a seed; wrapping with
// its limit on correcting passes; toggles that count only at exactly 1; the
// effect factor scaling the shake; aliased and odd-sized images.

#include "geometry_support.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

using geometry_test::poke;
using geometry_test::positions;
using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

const Pixel kClear{0, 0, 0, 0};

struct Offset {
  std::int64_t x, y;
};

// The offset of a frame: the generator seeded with the seed value, then
// the horizontal and the vertical draw.
Offset drawn(unsigned seed, std::int64_t xstep, std::int64_t ystep) {
  std::srand(seed);
  Offset o{0, 0};
  if (xstep > 0) o.x = std::rand() % 32768 % (2 * xstep) - xstep;
  if (ystep > 0) o.y = std::rand() % 32768 % (2 * ystep) - ystep;
  return o;
}

// The picture shifted by an offset, pass by pass when wrapping.
Image shifted(const Image &src, Offset o, bool wrap) {
  const std::int64_t w = src.width(), h = src.height();
  Image e(w, h);
  for (std::int64_t y = 0; y < h; ++y)
    for (std::int64_t x = 0; x < w; ++x) {
      std::int64_t sx = x + o.x, sy = y + o.y;
      bool inside = sx >= 0 && sx < w && sy >= 0 && sy < h;
      if (wrap)
        for (int pass = 0; pass < 100 && !inside; ++pass) {
          if (sx < 0) sx += w; else if (sx >= w) sx -= w;
          if (sy < 0) sy += h; else if (sy >= h) sy -= h;
          inside = sx >= 0 && sx < w && sy >= 0 && sy < h;
        }
      std::memcpy(e.pixel(x, y), inside ? src.pixel(sx, sy) : kClear.data(), 4);
    }
  return e;
}

class Jitter : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("jitter"); }
  void set(int random, float seed, int xstep, int ystep, int wrap = 0, int ipo = 0) {
    poke(*p, "Random jitter", random);
    poke(*p, "Seed", seed);
    poke(*p, "Xstep", xstep);
    poke(*p, "Ystep", ystep);
    poke(*p, "wrap", wrap);
    poke(*p, "Use IPO Curves", ipo);
  }
  Image run(const Image &src, float frame, float factor0 = 0) {
    Image out(src.width(), src.height());
    p->render(frame, factor0, 0, const_cast<Image &>(src), nullptr, out);
    return out;
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Jitter, Table) {
  geometry_test::expect_table(*p, "Jitter",
      {{"In: 1 strip", 0x1400, 0, 0, 0, ""},
       {"Random jitter", 0x0660, 1, 0, 1, "Do you want Random Jitter?"},
       {"Seed", 0x1C80, 0, -1, 1, "Random seed"},
       {"Xstep", 0x0A60, 0, 0, 1000, "Max X offset"},
       {"Ystep", 0x0A60, 10, 0, 1000, "Max Y offset"},
       {"", 0x1400, 0, 0, 0, ""},
       {"wrap", 0x0660, 0, 0, 1, "Do you want image wrap?"},
       {"Use IPO Curves", 0x0660, 0, 0, 1, "For (Ipo) animated blur"}});
}

TEST_F(Jitter, DefaultsShakeVerticallyByOneOffsetPerFrame) {
  Image src = positions(37, 23);
  bool moved = false;
  for (int frame = 1; frame <= 12; ++frame) {
    const Offset o = drawn((unsigned)frame, 0, 10);
    EXPECT_EQ(o.x, 0);
    ASSERT_TRUE(o.y >= -10 && o.y <= 9);
    moved |= o.y != drawn(frame + 1, 0, 10).y;
    ASSERT_TRUE(seqfx_test::same_pixels(run(src, frame), shifted(src, o, false))) << frame;
    poke(*p, "wrap", 1);
    ASSERT_TRUE(seqfx_test::same_pixels(run(src, frame), shifted(src, o, true))) << frame;
    poke(*p, "wrap", 0);
  }
  EXPECT_TRUE(moved);
  // The same frame and seed give the same picture.
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 7), run(src, 7)));
}

TEST_F(Jitter, SeedPlusFrameInSinglePrecision) {
  Image src = positions(37, 23);
  set(1, 0.75f, 20, 10);
  // 0.75 + 4 truncates to 4; -1 + 0 seeds the unsigned value of -1.
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 4), shifted(src, drawn(4, 20, 10), false)));
  set(1, -1, 20, 10);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 0), shifted(src, drawn(0xFFFFFFFFu, 20, 10), false)));
  // -0.5 + 0 truncates toward zero to 0.
  set(1, -0.5f, 20, 10);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 0), shifted(src, drawn(0, 20, 10), false)));
  // 16777217 is 16777216 in single precision.
  set(1, 1, 20, 10);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 16777216.0f),
                                      shifted(src, drawn(16777216, 20, 10), false)));
}

// With "wrap" a position needing more than 100 correcting passes is
// transparent black: on a 5-wide picture an offset of -400 still wraps, one
// of -1000 does not.
TEST_F(Jitter, WrapGivesUpAfterOneHundredPasses) {
  Image src = positions(5, 3);
  set(1, 0, 1000, 0, 1);
  bool far = false, near = false;
  for (int frame = 0; frame < 400; ++frame) {
    const Offset o = drawn(frame, 1000, 0);
    ASSERT_TRUE(seqfx_test::same_pixels(run(src, frame), shifted(src, o, true))) << frame;
    if (o.x <= -510) {
      far = true;
      EXPECT_TRUE(seqfx_test::same_pixels(run(src, frame), seqfx_test::solid(5, 3, kClear)));
    }
    if (o.x >= -400 && o.x <= -300) {
      near = true;
      EXPECT_EQ(at(run(src, frame), 0, 0)[3], 200);
    }
  }
  EXPECT_TRUE(far && near);
}

TEST_F(Jitter, TogglesCountOnlyAtExactlyOne) {
  Image src = positions(37, 23);
  for (int v : {0, 2, -1, 0x10001}) {
    set(v, 0, 30, 30, 1, 1);
    EXPECT_TRUE(seqfx_test::same_pixels(run(src, 3, 1), src)) << v;
  }
  const Offset o = drawn(3, 30, 30);
  set(1, 0, 30, 30, 2);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 3), shifted(src, o, false)));
  set(1, 0, 30, 30, 0, 2);
  EXPECT_TRUE(seqfx_test::same_pixels(run(src, 3, 0), shifted(src, o, false)));
}

// "Use IPO Curves": the factor, limited to 0..1, scales the frame's offset
// (single-precision product, truncated toward zero).
TEST_F(Jitter, FactorScalesTheShake) {
  Image src = positions(37, 23);
  set(1, 0, 30, 30, 0, 1);
  for (int frame = 1; frame <= 5; ++frame) {
    const Offset o = drawn(frame, 30, 30);
    EXPECT_TRUE(seqfx_test::same_pixels(run(src, frame, 0), src));
    EXPECT_TRUE(seqfx_test::same_pixels(run(src, frame, 1), shifted(src, o, false)));
    EXPECT_TRUE(seqfx_test::same_pixels(run(src, frame, 7), shifted(src, o, false)));
    EXPECT_TRUE(seqfx_test::same_pixels(run(src, frame, std::nanf("")), src));
    const Offset half{(std::int64_t)((float)o.x * 0.3f), (std::int64_t)((float)o.y * 0.3f)};
    EXPECT_TRUE(seqfx_test::same_pixels(run(src, frame, 0.3f), shifted(src, half, false)));
  }
}

TEST_F(Jitter, OffFramesAndSlotExtremes) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image src = positions(w, h);
    set(0, 0, 10, 10);
    EXPECT_TRUE(seqfx_test::same_pixels(run(src, 4), src));
    set(1, 0, 0, 0);
    EXPECT_TRUE(seqfx_test::same_pixels(run(src, 4), src));
    set(1, 0, -5, -2147483647);  // non-positive steps draw nothing
    EXPECT_TRUE(seqfx_test::same_pixels(run(src, 4), src));
    for (int wrap : {0, 1}) {
      set(1, 0, 2147483647, 1073741824, wrap);
      EXPECT_TRUE(seqfx_test::same_pixels(
          run(src, 9), shifted(src, drawn(9, 2147483647, 1073741824), wrap)));
    }
  }
}

TEST_F(Jitter, InPlace) {
  set(1, 0, 10, 10, 1);
  Image src = positions(37, 23);
  Image expected = run(src, 2);
  Image same = positions(37, 23);
  p->call(2, 0, 0, 37, 23, same.record(), nullptr, same.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(same, expected));
}

// Positions are frame positions; an output smaller than the frame gets its
// part, a source smaller than the frame gives transparent black beyond it.
TEST_F(Jitter, ImagesOfAnotherSize) {
  set(1, 0, 10, 10, 1);
  Image src = positions(37, 23);
  const Image full = run(src, 2);
  Image small(7, 5);
  p->call(2, 0, 0, 37, 23, src.record(), nullptr, small.record(), nullptr);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(at(small, x, y), at(full, x, y));
  Image tiny = positions(7, 5);
  Image out = seqfx_test::solid(37, 23, {1, 2, 3, 4});
  p->call(2, 0, 0, 37, 23, tiny.record(), nullptr, out.record(), nullptr);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) {
      const Pixel f = at(full, x, y);
      auto [sx, sy] = geometry_test::where(f);
      ASSERT_EQ(at(out, x, y), (f[3] == 200 && sx < 7 && sy < 5 ? at(tiny, sx, sy) : kClear));
    }
  Image keep = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  Image none(7, 5, false);
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, keep.record(), nullptr);
  p->call(1, 0, 0, 7, 5, none.record(), nullptr, keep.record(), nullptr);
  p->call(1, 0, 0, 7, 0, tiny.record(), nullptr, keep.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(keep, seqfx_test::solid(7, 5, {1, 2, 3, 4})));
}

TEST_F(Jitter, ArbitrarySlotBytesFactorsAndSizes) { geometry_test::shake_slots(*p, 1); }

}  // namespace
