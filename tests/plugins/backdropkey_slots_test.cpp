// backdropkey with an edge-blur radius no widget can set: the cost of a
// frame is that of the largest radius of the table, and so is the result.

#include "seqfx_test.h"

#include <chrono>
#include <cstring>

using seqfx::Image;

namespace {

TEST(BackdropkeySlots, RadiusBeyondTheTableBlursAsTheLargest) {
  auto p = seqfx_test::load("backdropkey");
  p->set_value("info / TMI", 0);
  p->set_value("edge blur", 1);
  p->set_value("blur", 2);
  Image in = seqfx_test::painted(64, 48, [](int x, int y) {
    return (x - 32) * (x - 32) + (y - 24) * (y - 24) < 200 ? seqfx_test::Pixel{200, 60, 60, 255}
                                                              : seqfx_test::Pixel{0, 255, 0, 255};
  });
  auto run = [&] {
    Image out(64, 48);
    p->render(1, 0, 0, in, nullptr, out);
    return out;
  };
  p->set_value("radius", 5);
  const Image largest = run();
  for (int radius : {60000, 1000000}) {
    std::memcpy(p->slot(p->find_row("radius")), &radius, 4);
    const auto start = std::chrono::steady_clock::now();
    const Image out = run();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(seqfx_test::same_pixels(out, largest)) << radius;
    EXPECT_LT(s, 5.0) << "radius " << radius << " ran away";
  }
}

}  // namespace
