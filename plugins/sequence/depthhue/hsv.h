// depthhue: the colour conversions between RGB and hue, saturation and
// value, each step in the precision the module's results depend on.
#pragma once

namespace depthhue_impl {

inline float maxrgb(float r, float g, float b) {
  const float m = r > g ? r : g;
  return m > b ? m : b;
}

inline float minrgb(float r, float g, float b) {
  const float m = r < g ? r : g;
  return m < b ? m : b;
}

// Saturation and value of r, g, b in 0..1, single precision: v = max,
// s = (max - min) / max, or 0 when max is 0. (The hue of the colour is not
// needed: the module replaces it by the depth's.)
inline void rgb2sv(float r, float g, float b, float *s, float *v) {
  const float max = maxrgb(r, g, b), min = minrgb(r, g, b);
  *v = max;
  *s = max != 0.0f ? (max - min) / max : 0.0f;
}

// A hue of 0..360 degrees as its sector (0..5) and the fraction f within
// it: the hue over 60 is formed in double and rounded to single. `w` is the
// share the sector's third value takes: f in the odd sectors (q = v(1 - s f)),
// 1 - f in the even ones (t = v(1 - s(1 - f))).
struct Sector {
  int i;
  float w;
};

inline Sector hue_sector(float h) {
  if (h == 360.0f) h = 0.0f;
  const float hh = (float)((double)h / 60.0);
  const int i = (int)hh;
  const float f = hh - (float)i;
  return {i, (i & 1) ? f : 1.0f - f};
}

// h, s, v back to r, g, b: with p = v(1 - s) and x = v(1 - s w) (q in the
// odd sectors, t in the even ones), sectors 0..5 give (v, t, p), (q, v, p),
// (p, v, t), (p, q, v), (t, p, v), (v, p, q). With s = 0 all three are v.
// hsv_place[i] gives the channel (0 red, 1 green, 2 blue) of v, x and p.
constexpr unsigned char hsv_place[6][3] = {{0, 1, 2}, {1, 0, 2}, {1, 2, 0},
                                           {2, 1, 0}, {2, 0, 1}, {0, 2, 1}};
inline float hsv_p(float s, float v) { return v * (1.0f - s); }
inline float hsv_x(Sector hs, float s, float v) { return v * (1.0f - s * hs.w); }

}  // namespace depthhue_impl
