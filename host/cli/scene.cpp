#include "scene.h"

#include "font.h"

#include <algorithm>
#include <cmath>

namespace seqfx_cli {

namespace {

struct Vec {
  double x, y, z;
};
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(Vec a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec unit(Vec a) { return a * (1.0 / std::sqrt(dot(a, a))); }

struct Hit {
  double t = 1e30;
  Vec normal{0, 1, 0};
  Vec colour{0, 0, 0};
  bool subject = false;  // a sphere or the box, not floor or sky
};

void sphere(Vec o, Vec d, Vec centre, double r, Vec colour, Hit &h) {
  const Vec oc = o - centre;
  const double b = dot(oc, d), c = dot(oc, oc) - r * r, disc = b * b - c;
  if (disc < 0) return;
  const double t = -b - std::sqrt(disc);
  if (t <= 1e-6 || t >= h.t) return;
  h.t = t;
  h.normal = unit(o + d * t - centre);
  h.colour = colour;
  h.subject = true;
}

void box(Vec o, Vec d, Vec lo, Vec hi, Vec colour, Hit &h) {
  double t0 = -1e30, t1 = 1e30;
  int axis = 0;
  const double os[3] = {o.x, o.y, o.z}, ds[3] = {d.x, d.y, d.z}, ls[3] = {lo.x, lo.y, lo.z},
               hs[3] = {hi.x, hi.y, hi.z};
  for (int a = 0; a < 3; ++a) {
    if (std::fabs(ds[a]) < 1e-12) {
      if (os[a] < ls[a] || os[a] > hs[a]) return;
      continue;
    }
    double ta = (ls[a] - os[a]) / ds[a], tb = (hs[a] - os[a]) / ds[a];
    if (ta > tb) std::swap(ta, tb);
    if (ta > t0) {
      t0 = ta;
      axis = a;
    }
    t1 = std::min(t1, tb);
  }
  if (t0 > t1 || t0 <= 1e-6 || t0 >= h.t) return;
  h.t = t0;
  const double s = ds[axis] > 0 ? -1.0 : 1.0;
  h.normal = axis == 0 ? Vec{s, 0, 0} : axis == 1 ? Vec{0, s, 0} : Vec{0, 0, s};
  h.colour = colour;
  h.subject = true;
}

unsigned char byte(double v) { return (unsigned char)std::lround(std::min(1.0, std::max(0.0, v)) * 255.0); }

void put(seqfx::Image &img, int x, int y_top, Vec c, double distance, double alpha = 1.0) {
  const int y = img.height() - 1 - y_top;
  unsigned char *p = img.pixel(x, y);
  p[0] = byte(c.x);
  p[1] = byte(c.y);
  p[2] = byte(c.z);
  p[3] = byte(alpha);
  img.zbuf()[(std::size_t)y * img.width() + x] = kSceneDepth.to_z(distance);
}

// A little grain, the same for every frame.
double grain(int x, int y) {
  unsigned h = (unsigned)x * 374761393u + (unsigned)y * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return ((h >> 16) & 0xFF) / 255.0 - 0.5;
}

Vec backdrop(int x, int y, int w, int h) {
  const double v = 0.85 + 0.1 * (1.0 - (double)y / h) - 0.05 * std::fabs((double)x / w - 0.5);
  return Vec{0.05, 0.70 * v, 0.25 * v} + Vec{1, 1, 1} * (0.012 * grain(x, y));
}

void render_scene(seqfx::Image &img, Strip which, int frame) {
  const int w = img.width(), h = img.height();
  const double aspect = (double)w / h, phase = 0.15 * (frame - 1);
  const Vec light = unit({-0.5, 0.8, -0.4});
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Vec o{0, 0.3, 0};
      const Vec d = unit({((x + 0.5) / w - 0.5) * aspect * 1.1, (0.5 - (y + 0.5) / h) * 1.1, 1.0});
      Hit hit;
      if (which != Strip::Clean && which != Strip::Plate) {
        sphere(o, d, {-1.3 + 0.4 * std::sin(phase), -0.2, 4.5}, 0.8, {0.85, 0.2, 0.15}, hit);
        sphere(o, d, {1.6, 0.1, 9.0}, 1.1, {0.2, 0.35, 0.9}, hit);
        sphere(o, d, {-3.5, 0.6, 16.0}, 1.6, {0.95, 0.85, 0.3}, hit);
        box(o, d, {0.1, -1.0, 2.6}, {0.9, -0.3, 3.3}, {0.9, 0.9, 0.85}, hit);
      }
      if (hit.subject) {
        const double lambert = std::max(0.0, dot(hit.normal, light));
        const Vec half = unit(light - d);
        const double spec = std::pow(std::max(0.0, dot(hit.normal, half)), 40.0);
        put(img, x, y, hit.colour * (0.25 + 0.75 * lambert) + Vec{1, 1, 1} * (0.5 * spec), hit.t);
        continue;
      }
      if (which == Strip::Green || which == Strip::Clean) {
        put(img, x, y, backdrop(x, y, w, h), kSceneDepth.farthest);
        continue;
      }
      if (d.y < -1e-6) {
        // The floor at y = -1: a checkerboard fading into haze.
        const double t = (-1.0 - o.y) / d.y;
        const Vec p = o + d * t;
        const bool dark = ((int)std::floor(p.x) + (int)std::floor(p.z)) & 1;
        const double haze = std::min(1.0, t / 30.0);
        const Vec base = dark ? Vec{0.35, 0.3, 0.25} : Vec{0.75, 0.7, 0.6};
        put(img, x, y, base * (1.0 - haze) + Vec{0.7, 0.8, 0.95} * haze, std::min(t, kSceneDepth.farthest),
            which == Strip::Cutout ? 1.0 - haze : 1.0);
      } else {
        const double up = std::min(1.0, d.y * 2.5);
        put(img, x, y, Vec{0.7, 0.8, 0.95} * (1.0 - up) + Vec{0.25, 0.45, 0.85} * up, kSceneDepth.farthest,
            which == Strip::Cutout ? 0.0 : 1.0);
      }
    }
}

void render_second(seqfx::Image &img, int frame) {
  const int w = img.width(), h = img.height();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double u = (double)x / w, v = (double)y / h;
      const double r = std::hypot(u - 0.6, (v - 0.5) * h / w);
      const bool ring = ((int)(r * 18.0 - 0.3 * frame) & 1) != 0;
      Vec c = Vec{0.95, 0.55 + 0.3 * v, 0.2} * (ring ? 1.0 : 0.75);
      if (((int)(u * 8)) % 2 == 0 && v > 0.8) c = Vec{0.15, 0.1, 0.35};
      put(img, x, y, c, 2.0 + 20.0 * u);  // a plane slanting away to the right
    }
}

void render_third(seqfx::Image &img) {
  const int w = img.width(), h = img.height();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double r = std::hypot((double)x / w - 0.5, ((double)y / h - 0.5) * h / w);
      const double g = std::min(1.0, std::max(0.0, 1.2 - 3.0 * r));
      put(img, x, y, Vec{g, g, g}, 8.0);
    }
}

}  // namespace

seqfx::Image make_strip(Strip which, int w, int h, int frame) {
  seqfx::Image img(w, h);
  img.add_zbuf();
  switch (which) {
    case Strip::Second: render_second(img, frame); break;
    case Strip::Third: render_third(img); break;
    default: render_scene(img, which, frame); break;
  }
  const unsigned char ink[4] = {255, 255, 255, 255}, shade[4] = {0, 0, 0, 255};
  const char *caption = which == Strip::Second ? "strip 2" : which == Strip::Third ? "strip 3" : "seqfx";
  draw_text(img, 5, 5, caption, shade, 2);
  draw_text(img, 4, 4, caption, ink, 2);
  return img;
}

}  // namespace seqfx_cli
