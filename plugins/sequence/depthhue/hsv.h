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

// r, g, b in 0..1 to h in degrees (0..360), s and v in 0..1; single
// precision but for the turn of a negative hue, which runs in double.
inline void rgb2hsv(float r, float g, float b, float *h, float *s, float *v) {
  const float max = maxrgb(r, g, b), min = minrgb(r, g, b);
  *v = max;
  *s = max != 0.0f ? (max - min) / max : 0.0f;
  if (*s == 0.0f) {
    *h = 0.0f;
    return;
  }
  const float delta = max - min;
  const float rc = (max - r) / delta, gc = (max - g) / delta, bc = (max - b) / delta;
  float hue;
  if (r == max)
    hue = bc - gc;
  else if (g == max)
    hue = 2.0f + rc - bc;
  else
    hue = 4.0f + gc - rc;
  hue *= 60.0f;
  if (hue < 0.0f) hue = (float)((double)hue + 360.0);
  *h = hue;
}

// The sector (0..5) and the fraction within it of a hue of 0..360 degrees:
// the hue over 60 is formed in double and rounded to single.
struct Sector {
  int i;
  float f;
};

inline Sector hue_sector(float h) {
  if (h == 360.0f) h = 0.0f;
  const float hh = (float)((double)h / 60.0);
  const int i = (int)hh;
  return {i, hh - (float)i};
}

// h, s, v back to r, g, b, given the hue's sector.
inline void hsv2rgb(Sector hs, float s, float v, float *r, float *g, float *b) {
  if (s == 0.0f) {
    *r = *g = *b = v;
    return;
  }
  const float f = hs.f;
  const float p = v * (1.0f - s), q = v * (1.0f - s * f), t = v * (1.0f - s * (1.0f - f));
  switch (hs.i) {
    case 0: *r = v, *g = t, *b = p; break;
    case 1: *r = q, *g = v, *b = p; break;
    case 2: *r = p, *g = v, *b = t; break;
    case 3: *r = p, *g = q, *b = v; break;
    case 4: *r = t, *g = p, *b = v; break;
    default: *r = v, *g = p, *b = q; break;
  }
}

}  // namespace depthhue_impl
