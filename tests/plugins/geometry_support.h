// Helpers shared by the tests of the modules that move whole pixels.
#pragma once

#include "seqfx_test.h"

#include <cstring>
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

}  // namespace geometry_test
