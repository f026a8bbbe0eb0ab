// phosphor: channel patterns over the frame, additive mode and rotate.

#include "seqfx_test.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

// The nine patterns: width, height, the lines one after another.
struct Pat {
  int w, h;
  std::string cells;
};
const Pat kPatterns[9] = {
    {2, 6, "010212102021"},
    {4, 12, "001100110022002211221122110011002200220022112211"},
    {1, 3, "012"},
    {1, 6, "001122"},
    {2, 12, "010102021212101020202121"},
    {3, 3, "012201120"},
    {6, 6, "001122001122220011220011112200112200"},
    {6, 18, "220000222002222222222112221111111111001111000110000000000220002222222222112222111221"
            "111111111001110000000000"},
    {5, 15, "012001112001222001200111220122000122011122012200011201122201120001120112220"},
};

Pixel expected(Pixel in, int x, int y, int pattern, bool additive, bool rotate) {
  const Pat &pt = kPatterns[pattern];
  const int line = rotate ? x % pt.h : y % pt.h, col = rotate ? y % pt.w : x % pt.w;
  const int keep = pt.cells[line * pt.w + col] - '0';
  for (int c = 0; c < 3; ++c)
    in[c] = additive    ? (unsigned char)std::min(255, in[c] * (c == keep ? 2 : 1))
            : c == keep ? in[c]
                        : 0;
  return in;
}

class Phosphor : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("phosphor"); }
  void set(int pattern, bool additive, bool rotate) {
    p->set_value("pattern:", pattern);
    p->set_value("additive", additive);
    p->set_value("rotate", rotate);
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Phosphor, TableAndStripedRows) {
  EXPECT_EQ(p->display_name(), "phosphor");
  ASSERT_EQ(p->row_count(), 7);
  EXPECT_EQ(seqfx::row_label(p->row(3)), "pattern: ");
  EXPECT_EQ(seqfx::row_tip(p->row(5)), "toggle Additive mode");
  EXPECT_EQ(p->int_slot(3) * 100 + p->int_slot(5) * 10 + p->int_slot(6), 510);
  // Striped, additive: rows of doubled red, green and blue in turn.
  Image src = seqfx_test::solid(5, 4, {100, 150, 200, 255}), out(5, 4);
  set(2, true, false);
  p->render(1, 0, 0, src, nullptr, out);
  const Pixel add[3] = {{200, 150, 200, 255}, {100, 255, 200, 255}, {100, 150, 255, 255}};
  for (int y = 0; y < 4; ++y) EXPECT_EQ(at(out, 4, y), add[y % 3]) << y;
}

TEST_F(Phosphor, EveryPatternInBothDirectionsAndModes) {
  // Widths that are not multiples of the pattern or of four cut the pattern
  // at the right edge; each row starts again at pattern column 0.
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image src = seqfx_test::test_picture(w, h);
    Image out(w, h);
    for (int pat = 0; pat < 9; ++pat)
      for (int mode = 0; mode < 4; ++mode) {
        const bool additive = mode & 1, rotate = mode & 2;
        set(pat, additive, rotate);
        p->render(1, 0, 0, src, nullptr, out);
        int bad = 0;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            bad += at(out, x, y) != expected(at(src, x, y), x, y, pat, additive, rotate);
        EXPECT_EQ(bad, 0) << w << "x" << h << " pattern " << pat << " mode " << mode;
      }
  }
}

TEST_F(Phosphor, PatternNumbersOutsideTheTableAreTheNearest) {
  Image src = seqfx_test::test_picture(9, 20);
  Image out(9, 20), ref(9, 20);
  for (auto [raw, nearest] : {std::pair{-1, 0}, {INT_MIN, 0}, {9, 8}, {INT_MAX, 8}}) {
    set(nearest, true, false);
    p->render(1, 0, 0, src, nullptr, ref);
    std::memcpy(p->slot(3), &raw, 4);
    p->render(1, 0, 0, src, nullptr, out);
    EXPECT_TRUE(seqfx_test::same_pixels(out, ref)) << raw;
  }
}

TEST_F(Phosphor, InPlaceSmallerImagesAndMissingPlanes) {
  set(7, true, true);
  Image src = seqfx_test::test_picture(37, 23), ref(37, 23);
  p->render(1, 0, 0, src, nullptr, ref);
  p->call(1, 0, 0, 37, 23, src.record(), nullptr, src.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(src, ref));
  // Smaller outputs, and a wider output than the input, get only the
  // pixels both images hold.
  Image small = seqfx_test::solid(5, 4, {1, 2, 3, 4});
  p->call(1, 0, 0, 37, 23, ref.record(), nullptr, small.record(), nullptr);
  EXPECT_EQ(at(small, 4, 3), expected(at(ref, 4, 3), 4, 3, 7, true, true));
  Image wide(37, 2), narrow = seqfx_test::solid(3, 2, {9, 9, 9, 9});
  p->call(1, 0, 0, 37, 2, narrow.record(), nullptr, wide.record(), nullptr);
  EXPECT_EQ(at(wide, 3, 0), (Pixel{0, 0, 0, 0}));
  Image none(7, 5, false), out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  p->call(1, 0, 0, 7, 5, none.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  EXPECT_EQ(at(out, 6, 4), (Pixel{1, 2, 3, 4}));
}

}  // namespace
