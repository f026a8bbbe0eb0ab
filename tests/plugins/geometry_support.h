// Helpers shared by the tests of the modules that move whole pixels.
#pragma once

#include "seqfx_test.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace geometry_test {

struct Row {
  const char *label;
  int code;
  float def, min, max;
  const char *tip;
};

// Checks a module's display name and table against the expected rows.
inline void expect_table(const seqfx::Plugin &p, const char *display,
                         const std::vector<Row> &rows) {
  EXPECT_EQ(p.display_name(), display);
  ASSERT_EQ(p.row_count(), (int)rows.size());
  for (int i = 0; i < (int)rows.size(); ++i) {
    const ParamDescriptor &r = p.row(i);
    EXPECT_EQ(std::string(r.name, strnlen(r.name, sizeof r.name)), rows[i].label) << i;
    EXPECT_EQ(r.code, rows[i].code) << i;
    EXPECT_EQ(r.def, rows[i].def) << i;
    EXPECT_EQ(r.min, rows[i].min) << i;
    EXPECT_EQ(r.max, rows[i].max) << i;
    EXPECT_EQ(seqfx::row_tip(r), rows[i].tip) << i;
  }
}

// Writes any 4 bytes into a slot, as a host may, bypassing the range check.
template <typename T>
void poke(seqfx::Plugin &p, const char *label, T v) {
  static_assert(sizeof(T) == 4, "slots are 4 bytes");
  std::memcpy(p.slot(p.find_row(label)), &v, 4);
}

// A picture whose every pixel tells where it came from: red and green the
// column and row (low 8 bits), blue their high bits, alpha a fixed 200.
inline seqfx::Image positions(int w, int h) {
  return seqfx_test::painted(w, h, [](int x, int y) {
    return seqfx_test::Pixel{(unsigned char)x, (unsigned char)y,
                             (unsigned char)((x >> 8) | ((y >> 8) << 4)), 200};
  });
}
// The position a pixel of positions() names.
inline std::pair<int, int> where(const seqfx_test::Pixel &p) {
  return {p[0] | ((p[2] & 15) << 8), p[1] | ((p[2] >> 4) << 8)};
}
inline std::pair<int, int> where(const seqfx::Image &img, int x, int y) {
  return where(seqfx_test::at(img, x, y));
}

// Renders many frames with arbitrary bytes in every value slot, arbitrary
// factors and frame numbers, and inputs that are aliased or smaller than the
// frame. Nothing is checked but that every output pixel is one the module may
// write (a source pixel, or transparent black): the sanitizers watch the
// memory.
inline void shake_slots(seqfx::Plugin &p, int strips, int rounds = 300) {
  std::mt19937 rng(17);
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(), INFINITY, -INFINITY, 0.0f,
                            1.0f, -1.0f, 0.5f, 1e30f, -1e30f, 3e9f, 2000.0f};
  const std::uint32_t ints[] = {0, 1, 2, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 2000, 100000};
  auto any_float = [&] {
    std::uint32_t bits = rng();
    float f;
    std::memcpy(&f, &bits, 4);
    return rng() % 2 ? f : specials[rng() % std::size(specials)];
  };
  const std::pair<int, int> sizes[] = {{1, 1}, {7, 5}, {37, 23}, {2, 9}};
  for (int round = 0; round < rounds; ++round) {
    for (int row = 0; row < p.row_count(); ++row) {
      if (p.row(row).code == PLUGIN_CODE_LABEL) continue;
      std::uint32_t v = rng() % 3 == 0 ? rng() : ints[rng() % std::size(ints)];
      if (rng() % 3 == 0) {
        const float f = any_float();
        std::memcpy(&v, &f, 4);
      }
      std::memcpy(p.slot(row), &v, 4);
    }
    auto [w, h] = sizes[rng() % std::size(sizes)];
    auto [iw, ih] = rng() % 4 ? std::pair{w, h} : sizes[rng() % std::size(sizes)];
    seqfx::Image src = positions(iw, ih), map = seqfx_test::test_picture(iw, ih, round);
    seqfx::Image out(w, h);
    const int alias = rng() % 4;  // 0: none, 1: out is the input, 2: the map is the input
    ImageBuffer *in = alias == 1 ? out.record() : src.record();
    ImageBuffer *second = strips > 1 ? (alias == 2 ? in : map.record()) : nullptr;
    const int fw = rng() % 4 ? w : w + (int)(rng() % 40), fh = rng() % 4 ? h : h + (int)(rng() % 40);
    p.call(any_float(), any_float(), any_float(), fw, fh, in, second, out.record(), nullptr);
    if (alias == 1) continue;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const seqfx_test::Pixel px = seqfx_test::at(out, x, y);
        ASSERT_TRUE(px[3] == 200 || px == (seqfx_test::Pixel{0, 0, 0, 0}))
            << "round " << round << " at " << x << "," << y;
      }
  }
}

}  // namespace geometry_test
