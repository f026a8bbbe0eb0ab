// Shared fixture of the depthkit tests.
#pragma once

#include "seqfx_test.h"

#include <string>
#include <vector>

namespace depthkit_test {

// The rows, once for all depthkit tests; kSetup and kLastMode are the label
// rows whose slots the module uses for its first-call set-up and its mode
// memory.
enum Row { kDump = 0, kView = 1, kMask = 2, kSetup = 3, kColour = 4, kAlpha = 5, kAuto = 6,
           kStart = 7, kEnd = 8, kClip = 9, kFront = 10, kRear = 11, kLastMode = 12, kOutZ = 13,
           kUse2 = 14, kInv = 15, kVerbose = 16 };

inline const std::string kRangeNote =
    "\nThe zbuffer has 32 bits with a range of 4 gig [-2147483648 -> +2147483647]\n"
    "            The z-values shown  are\n    divided by 1 million to make adjustment easier\n";

// One row of opaque pixels (x, 40, 80, 255) with the given depth values.
inline seqfx::Image depth_row(const std::vector<int> &z) {
  seqfx::Image img = seqfx_test::painted((int)z.size(), 1, [](int x, int) {
    return seqfx_test::Pixel{(unsigned char)x, 40, 80, 255};
  });
  int *d = img.add_zbuf();
  for (size_t i = 0; i < z.size(); ++i) d[i] = z[i];
  return img;
}

class Depthkit : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("depthkit"); }
  // Renders one frame and returns what it printed on standard output.
  std::string run(seqfx::Image &in, seqfx::Image *in2, seqfx::Image &out, float frame = 1) {
    return run_on(*p, in, in2, out, frame);
  }
  static std::string run_on(seqfx::Plugin &m, seqfx::Image &in, seqfx::Image *in2, seqfx::Image &out,
                            float frame = 1) {
    seqfx_test::Console c;
    m.render(frame, 0, 0, in, in2, out);
    c.finish();
    return c.out();
  }
  // Runs the first-call set-up on a throw-away frame.
  void settle() {
    seqfx::Image in = depth_row({0});
    seqfx::Image out(1, 1);
    run(in, nullptr, out);
  }
  std::unique_ptr<seqfx::Plugin> p;
};

}  // namespace depthkit_test
