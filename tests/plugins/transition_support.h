// Helpers for the two-strip transition tests: strips whose every pixel tells
// which strip and which position it came from, and the guards every
// transition shares (missing, identical, aliased and small images).
#pragma once

#include "seqfx_test.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace transition {

using seqfx::Image;
using seqfx_test::Pixel;

// Pixel (x, y) of strip 1 or 2: red and green carry the position, blue the
// strip and the high bits of the position, alpha differs between strips.
inline Pixel tag(int strip, int x, int y) {
  return Pixel{(unsigned char)(x & 255), (unsigned char)(y & 255),
               (unsigned char)(strip * 64 + ((x >> 8) & 7) * 8 + ((y >> 8) & 7)),
               (unsigned char)(strip == 1 ? 250 : 130)};
}
inline Image strip(int which, int w, int h) {
  return seqfx_test::painted(w, h, [which](int x, int y) { return tag(which, x, y); });
}

// Where an output pixel came from.
struct Source {
  int strip = 0;  // 1, 2, or 0 for neither
  int x = -1, y = -1;
  bool operator==(const Source &o) const { return strip == o.strip && x == o.x && y == o.y; }
};
inline Source source(const Image &out, int x, int y) {
  const Pixel p = seqfx_test::at(out, x, y);
  const int strip = p[2] >> 6;
  Source s;
  if ((strip != 1 && strip != 2) || p[3] != (strip == 1 ? 250 : 130)) return s;
  s.strip = strip;
  s.x = p[0] | (((p[2] >> 3) & 7) << 8);
  s.y = p[1] | ((p[2] & 7) << 8);
  return s;
}

// The strip (1 or 2) each pixel of out shows at its own position, or 0.
inline std::vector<int> strips_shown(const Image &out) {
  std::vector<int> m(out.pixels());
  for (int y = 0; y < out.height(); ++y)
    for (int x = 0; x < out.width(); ++x) {
      const Source s = source(out, x, y);
      m[(size_t)y * out.width() + x] = s.x == x && s.y == y ? s.strip : 0;
    }
  return m;
}

// A rendering of the module on strips of w x h with the current values.
inline Image render(seqfx::Plugin &p, int w, int h, float f0, float f1 = -1) {
  Image a = strip(1, w, h), b = strip(2, w, h), out = seqfx_test::solid(w, h, {7, 7, 7, 7});
  p.render(1, f0, f1 < 0 ? f0 : f1, a, &b, out);
  return out;
}

// The guards every transition needs: a missing strip or plane, the same
// record twice, inputs and outputs smaller than the frame, out aliased with
// an input. `untouched_on_missing` is false for a module that paints a
// marker instead. Returns the console output of the calls.
inline std::string check_guards(seqfx::Plugin &p, float f0, bool untouched_on_missing = true) {
  const int w = 37, h = 23;
  Image a = strip(1, w, h), b = strip(2, w, h), norect(w, h, false);
  const Pixel mark{7, 7, 7, 7};
  Image out = seqfx_test::solid(w, h, mark);
  seqfx_test::Console con;
  p.call(1, f0, f0, w, h, a.record(), nullptr, out.record(), nullptr);
  p.call(1, f0, f0, w, h, nullptr, b.record(), out.record(), nullptr);
  p.call(1, f0, f0, w, h, norect.record(), b.record(), out.record(), nullptr);
  p.call(1, f0, f0, w, h, a.record(), norect.record(), out.record(), nullptr);
  if (untouched_on_missing) {
    EXPECT_TRUE(seqfx_test::same_pixels(out, seqfx_test::solid(w, h, mark)));
  }
  // No output plane, or no output: nothing is written, nothing crashes.
  p.call(1, f0, f0, w, h, a.record(), b.record(), norect.record(), nullptr);

  // Images smaller than the frame are never overrun (the sanitizers watch),
  // and what they cover is drawn as on a frame of that size where the
  // pattern depends on the frame size alone.
  Image small_a = strip(1, 5, 4), small_b = strip(2, 3, 6), small_out = seqfx_test::solid(4, 2, mark);
  p.call(1, f0, f0, w, h, small_a.record(), b.record(), out.record(), nullptr);
  p.call(1, f0, f0, w, h, a.record(), small_b.record(), out.record(), nullptr);
  p.call(1, f0, f0, w, h, a.record(), b.record(), small_out.record(), nullptr);
  // A frame larger than every image, and frames of no size.
  p.call(1, f0, f0, 4 * w, 3 * h, a.record(), b.record(), out.record(), nullptr);
  p.call(1, f0, f0, 0, h, a.record(), b.record(), out.record(), nullptr);
  p.call(1, f0, f0, -5, -5, a.record(), b.record(), out.record(), nullptr);
  con.finish();
  return con.out();
}

// out aliased with each input gives what a separate out gets.
inline void check_aliasing(seqfx::Plugin &p, int w, int h, float f0) {
  Image a = strip(1, w, h), b = strip(2, w, h), out(w, h);
  p.render(1, f0, f0, a, &b, out);
  Image a2 = strip(1, w, h), b2 = strip(2, w, h);
  p.call(1, f0, f0, w, h, a2.record(), b2.record(), a2.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(a2, out)) << "out aliased with ibuf1, factor " << f0;
  Image a3 = strip(1, w, h), b3 = strip(2, w, h);
  p.call(1, f0, f0, w, h, a3.record(), b3.record(), b3.record(), nullptr);
  EXPECT_TRUE(seqfx_test::same_pixels(b3, out)) << "out aliased with ibuf2, factor " << f0;
}

}  // namespace transition
