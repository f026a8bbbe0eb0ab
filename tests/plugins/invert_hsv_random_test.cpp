// invert's hue/saturation/value shift on random frames of odd sizes against
// a plain one-pixel model of the shift, for slider values across the table
// and beyond it, with and without inversion and offsets before the shift.

#include "seqfx_test.h"

#include <cmath>
#include <cstring>
#include <random>

using seqfx::Image;
using seqfx_test::Pixel;

namespace {

// The hexcone model with byte 2 as green and byte 1 as blue, all in double
// precision; grey stays grey.
Pixel shifted(Pixel px, double dh, double ds, double dv) {
  const double r = px[0], b = px[1], g = px[2];
  const double mx = std::fmax(r, std::fmax(g, b)), mn = std::fmin(r, std::fmin(g, b));
  const double d = mx - mn;
  double v = std::fmin(1.0, std::fmax(0.0, mx / 255.0 + dv));
  if (v != v) v = mx / 255.0 + dv;
  if (d == 0.0) {
    const unsigned char grey = (unsigned char)std::floor(255.0 * v);
    return Pixel{grey, grey, grey, px[3]};
  }
  double h = r == mx ? 60.0 * (g - b) / d : g == mx ? 60.0 * (2.0 + (b - r) / d)
                                                       : 60.0 * (4.0 + (r - g) / d);
  if (h < 0.0) h += 360.0;
  double s = d / mx + ds;
  s = s < 0.0 ? 0.0 : (s > 1.0 ? 1.0 : s);
  h = std::fmod(h + dh * 360.0, 360.0);
  if (h < 0.0) h += 360.0;
  const auto byte = [](double x) { return (unsigned char)std::floor(x * 255.0); };
  if (s == 0.0) return Pixel{byte(v), byte(v), byte(v), px[3]};
  if (h >= 360.0) h = 0.0;
  h /= 60.0;
  const int sector = std::min(5, (int)std::floor(h));
  const double f = h - sector;
  const unsigned char V = byte(v), P = byte(v * (1.0 - s)), Q = byte(v * (1.0 - s * f)),
                      T = byte(v * (1.0 - s * (1.0 - f)));
  // Red, green, blue per sector; green goes to byte 2, blue to byte 1.
  const unsigned char rgb[6][3] = {{V, T, P}, {Q, V, P}, {P, V, T}, {P, Q, V}, {T, P, V}, {V, P, Q}};
  return Pixel{rgb[sector][0], rgb[sector][2], rgb[sector][1], px[3]};
}

TEST(InvertHsvRandom, FramesMatchTheOnePixelModel) {
  auto p = seqfx_test::load("invert");
  std::mt19937 rng(14);
  std::uniform_int_distribution<int> byte(0, 255), small(0, 5);
  const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {3, 3}, {17, 5}, {61, 7}};
  const float hues[] = {0.25f, -0.25f, 1.0f, -1.0f, 0.5f, 0.013f, -0.999f, 0.0f, 37.5f, -2900.0f, 5000.0f};
  const float shifts[][2] = {{0.0f, 0.0f}, {-0.3f, 0.1f}, {1.0f, -1.0f}, {-1.0f, 1.0f}, {0.02f, -0.5f}};
  int round = 0;
  for (const auto &size : sizes)
    for (float hue : hues)
      for (const auto &sv : shifts) {
        if (hue == 0.0f && sv[0] == 0.0f && sv[1] == 0.0f) continue;  // no shift at all
        const int w = size[0], h = size[1];
        // Few distinct bytes make greys, ties between channels and ones.
        const bool coarse = ++round % 2 == 0;
        Image in = seqfx_test::painted(w, h, [&](int, int) {
          auto pick = [&] { return (unsigned char)(coarse ? small(rng) * 51 : byte(rng)); };
          return Pixel{pick(), pick(), pick(), (unsigned char)byte(rng)};
        });
        const bool inverted = round % 3 == 0;
        const float offset = round % 5 == 0 ? 12.5f : 0.0f;
        for (const char *toggle : {"Red", "Green", "Blue"}) p->set_value(toggle, inverted);
        for (const char *slider : {"redSat", "GreenSat", "BlueSat"}) p->set_value(slider, offset);
        std::memcpy(p->slot(p->find_row("Hue")), &hue, 4);  // also beyond the table
        p->set_value("Saturation", sv[0]);
        p->set_value("Value", sv[1]);
        Image out(w, h);
        p->render(1, 0, 0, in, nullptr, out);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            Pixel px = seqfx_test::at(in, x, y);
            for (int c = 0; c < 3; ++c) {
              const float sum = (float)(inverted ? 255 - px[c] : px[c]) + offset;
              px[c] = (unsigned char)(sum >= 255.0f ? 255 : (int)sum);
            }
            ASSERT_EQ(seqfx_test::at(out, x, y), shifted(px, hue, sv[0], sv[1]))
                << w << "x" << h << " at " << x << "," << y << " hue " << hue << " sat " << sv[0]
                << " value " << sv[1] << " input " << (int)px[0] << "," << (int)px[1] << "," << (int)px[2];
          }
      }
}

}  // namespace
