// paintcut with key and tolerance slots no widget can set: the key box is
// worked out without overflow and limited to the byte range.

#include "seqfx_test.h"

#include <climits>
#include <cstring>

using seqfx::Image;

namespace {

void put_int(seqfx::Plugin &p, const char *label, int v) { std::memcpy(p.slot(p.find_row(label)), &v, 4); }

TEST(PaintcutSlots, KeyPlusToleranceDoesNotOverflow) {
  auto p = seqfx_test::load("paintcut");
  Image in = seqfx_test::solid(3, 2, {255, 10, 10, 255});
  Image plate = seqfx_test::solid(3, 2, {1, 2, 3, 4});
  Image out(3, 2);
  // Red INT_MAX +- 23 is the box 255..255: the red pixels are keyed out.
  put_int(*p, "Red:", INT_MAX);
  put_int(*p, "Green:", 0);
  put_int(*p, "Blue:", 0);
  put_int(*p, "Tolerance:", 23);
  seqfx_test::Console quiet;
  p->render(1, 0, 0, in, &plate, out);
  EXPECT_EQ(seqfx_test::at(out, 2, 1), (seqfx_test::Pixel{1, 2, 3, 4}));
  // A tolerance of INT_MAX around 1 takes in every colour.
  for (const char *row : {"Red:", "Green:", "Blue:"}) put_int(*p, row, 1);
  put_int(*p, "Tolerance:", INT_MAX);
  Image other = seqfx_test::test_picture(3, 2);
  p->render(1, 0, 0, other, &plate, out);
  EXPECT_TRUE(seqfx_test::same_pixels(out, plate));
}

}  // namespace
