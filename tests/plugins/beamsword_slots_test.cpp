// beamsword with a core blur no widget can set: it costs and looks like
// the table's largest.

#include "seqfx_test.h"

#include <cstring>

using seqfx::Image;

namespace {

TEST(BeamswordSlots, CoreBlurBeyondTheTableBlursAsTheLargest) {
  auto p = seqfx_test::load("beamsword");
  Image in = seqfx_test::test_picture(24, 16);
  auto run = [&] {
    Image out(24, 16);
    seqfx_test::Console quiet;
    p->render(1, 0.5f, 0.5f, in, nullptr, out);
    return out;
  };
  p->set_value("Blur Core", 20);
  const Image largest = run();
  const float huge = 1e9f;
  std::memcpy(p->slot(p->find_row("Blur Core")), &huge, 4);
  EXPECT_TRUE(seqfx_test::same_pixels(run(), largest));
}

}  // namespace
