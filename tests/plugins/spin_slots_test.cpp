// spin with centre offsets no widget can set: the centre is worked out
// without overflow (the sanitized build checks the arithmetic), and a centre
// far outside the frame shows the outside colour.

#include "seqfx_test.h"

#include <climits>
#include <cstring>

using seqfx::Image;

namespace {

TEST(SpinSlots, CentreOffsetsAtTheIntegerLimits) {
  auto p = seqfx_test::load("spin");
  p->set_value("Spiral", 0);
  p->set_value("Animate", 0);
  p->set_value("Degrees:", 90);
  p->set_value("Outside Style:", 0);
  Image in = seqfx_test::test_picture(9, 7);
  for (int v : {INT_MAX, INT_MIN, INT_MAX - 3}) {
    for (const char *row : {"CX", "CY"}) {
      Image out(9, 7);
      std::memcpy(p->slot(p->find_row(row)), &v, 4);
      seqfx_test::Console quiet;
      p->render(1, 0.5f, 0.5f, in, nullptr, out);
      quiet.finish();
      // Turned a quarter around a point that far away, the frame looks
      // at nothing of the picture.
      const seqfx_test::Pixel outside{127, 127, 127, 0};
      EXPECT_EQ(seqfx_test::at(out, 4, 3), outside) << row << " = " << v;
      std::memset(p->slot(p->find_row(row)), 0, 4);
    }
  }
}

}  // namespace
