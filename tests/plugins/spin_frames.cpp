// spin: whole frames against a plain pixel-by-pixel rendering of the
// mapping, over sizes, styles and toggles. The module computes in tiles and
// batches; every byte must still be what the plain rendering gives.

#include "seqfx_test.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

using seqfx::Image;

namespace {

struct Settings {
  float degrees = 360, scale = 1;
  int animate = 1, crossfade = 0, spiral = 1;
  float r = 0.5f, g = 0.5f, b = 0.5f;
  int style = 1, cx = 0, cy = 0, interpolate = 1;
};

unsigned char low8(float v) {
  return (v > -2147483648.0f && v < 2147483648.0f) ? (unsigned char)(int)v : 0;
}

// The mapping of one output pixel from one source, written out step by step.
void plain_pixel(const Settings &s, const unsigned char *src, int w, int h, double cx,
                 double cy, double deg, double sc, int x, int y, unsigned char *o) {
  const double dx = x - cx, dy = y - cy;
  const double r = std::sqrt(dx * dx + dy * dy), phi = std::atan2(dy, dx);
  const double th = s.spiral ? phi + r * deg : phi + deg;
  double sx = (r / sc) * std::cos(th) + cx, sy = (r / sc) * std::sin(th) + cy;
  const bool inside = sx >= 0 && sx <= w - 1 && sy >= 0 && sy <= h - 1;
  if (!inside) {
    if (s.style == 0) {
      o[0] = low8(s.r * 255);
      o[1] = low8(s.g * 255);
      o[2] = low8(s.b * 255);
      o[3] = 0;
      return;
    }
    if (s.style == 2 && !std::isnan(sx) && !std::isnan(sy)) {
      const bool xo = sx < 0 || sx > w - 1, yo = sy < 0 || sy > h - 1;
      double tx = 0, ty = 0;
      if (sx < 0) tx = (cx - sx) / cx;
      if (sx > w - 1) tx = (sx - cx) / (w - cx);
      if (sy < 0) ty = (cy - sy) / cy;
      if (sy > h - 1) ty = (sy - cy) / (h - cy);
      double t = xo && yo ? std::max(tx, ty) : xo ? tx : ty;
      const double px = (sx - cx) / t + cx, py = (sy - cy) / t + cy;
      if (std::isfinite(px) && std::isfinite(py)) sx = px, sy = py;
    }
    if (s.style == 3) {
      for (double *v : {&sx, &sy}) {
        const double n = v == &sx ? w : h;
        if (!std::isfinite(*v)) continue;
        if (std::fabs(*v) > 1024 * n) *v = std::fmod(*v, n);
        while (*v < 0) *v += n;
        while (*v >= n) *v -= n;
      }
    }
  }
  sx = std::isnan(sx) ? 0 : std::min(std::max(sx, 0.0), w - 1.0);
  sy = std::isnan(sy) ? 0 : std::min(std::max(sy, 0.0), h - 1.0);
  const int ix = (int)sx, iy = (int)sy;
  const double fx = sx - ix, fy = sy - iy;
  auto P = [&](int xx, int yy, int c) { return (double)src[4 * (yy * w + xx) + c]; };
  if (!s.interpolate || (fx < 0.01 && fy < 0.01)) {
    std::memcpy(o, src + 4 * (iy * w + ix), 4);
    return;
  }
  for (int c = 0; c < 3; ++c) {
    double v;
    if (fx < 0.01) v = P(ix, iy, c) * (1 - fy) + P(ix, iy + 1, c) * fy;
    else if (fy < 0.01) v = P(ix, iy, c) * (1 - fx) + P(ix + 1, iy, c) * fx;
    else
      v = P(ix, iy, c) * (1 - fx) * (1 - fy) + P(ix + 1, iy, c) * fx * (1 - fy) +
          P(ix, iy + 1, c) * (1 - fx) * fy + P(ix + 1, iy + 1, c) * fx * fy;
    o[c] = (unsigned char)(int)v;
  }
  o[3] = 0;
}

// With in_place the output starts as a copy of the first strip and is also
// read as it: the module then walks 32 x 32 tiles, row by row within each,
// and finishes every pixel before the next is read (with cross-fade, each
// row of a tile is read whole before it is written).
Image plain_frame(const Settings &s, float f, const Image &a, const Image &b,
                  bool in_place = false) {
  const int w = a.width(), h = a.height();
  const double cx = w / 2 + s.cx, cy = h / 2 + s.cy, k = 0.017453292519943295;
  double d1, d2, s1, s2;
  if (s.animate) {
    d1 = (f * s.degrees) * k;
    d2 = ((f - 1) * s.degrees) * k;
    s1 = std::pow((double)s.scale, (double)f);
    s2 = std::pow((double)(1 / s.scale), 1.0 - f);
  } else {
    d1 = s.degrees * k;
    d2 = -s.degrees * k;
    s1 = s.scale;
    s2 = 1 / s.scale;
  }
  if (s.spiral) {
    const int half = w / 2 ? w / 2 : 1;
    d1 /= half;
    d2 /= half;
  }
  Image out(w, h);
  if (in_place) std::memcpy(out.rect(), a.rect(), (std::size_t)w * h * 4);
  const unsigned char *first = in_place ? out.rect() : a.rect();
  for (int ty = 0; ty < h; ty += 32)
    for (int tx = 0; tx < w; tx += 32)
      for (int y = ty; y < std::min(ty + 32, h); ++y) {
        const int xe = std::min(tx + 32, w);
        if (!s.crossfade) {
          for (int x = tx; x < xe; ++x)
            plain_pixel(s, first, w, h, cx, cy, d1, s1, x, y, out.pixel(x, y));
          continue;
        }
        unsigned char pa[32][4], pb[32][4];
        for (int x = tx; x < xe; ++x) {
          plain_pixel(s, first, w, h, cx, cy, d1, s1, x, y, pa[x - tx]);
          plain_pixel(s, b.rect(), w, h, cx, cy, d2, s2, x, y, pb[x - tx]);
        }
        for (int x = tx; x < xe; ++x) {
          unsigned char *o = out.pixel(x, y);
          for (int c = 0; c < 3; ++c)
            o[c] = low8(pa[x - tx][c] + (pb[x - tx][c] - pa[x - tx][c]) * f);
          o[3] = 0;
        }
      }
  return out;
}

void apply(seqfx::Plugin &p, const Settings &s) {
  p.set_value("Degrees:", s.degrees);
  p.set_value("Scale:", s.scale);
  p.set_value("Animate", s.animate);
  p.set_value("Crossfade", s.crossfade);
  p.set_value("Spiral", s.spiral);
  p.set_value("R", s.r);
  p.set_value("G", s.g);
  p.set_value("B", s.b);
  std::memcpy(p.slot(p.find_row("Outside Style:")), &s.style, 4);  // also styles outside the table
  p.set_value("CX", s.cx);
  p.set_value("CY", s.cy);
  p.set_value("Interpolate", s.interpolate);
}

void expect_plain_on(seqfx::Plugin &p, const Settings &s, float f, Image &a, Image &b,
                     const std::string &what) {
  const int w = a.width(), h = a.height();
  apply(p, s);
  Image out(w, h);
  p.render(1, f, 0, a, &b, out);
  Image want = plain_frame(s, f, a, b);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      ASSERT_EQ(seqfx_test::at(out, x, y), seqfx_test::at(want, x, y))
          << what << " " << w << "x" << h << " f " << f << " at " << x << "," << y;
}

void expect_plain(seqfx::Plugin &p, const Settings &s, float f, int w, int h,
                  const std::string &what) {
  Image a = seqfx_test::test_picture(w, h, 3), b = seqfx_test::test_picture(w, h, 4);
  expect_plain_on(p, s, f, a, b, what);
}

TEST(SpinFrames, EveryStyleAndToggleOnEverySize) {
  auto p = seqfx_test::load("spin");
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}, {70, 41}})
    for (int style : {0, 1, 2, 3, 4})
      for (int bits = 0; bits < 16; ++bits) {
        Settings s;
        s.style = style;
        s.animate = bits & 1;
        s.spiral = (bits >> 1) & 1;
        s.interpolate = (bits >> 2) & 1;
        s.crossfade = (bits >> 3) & 1;
        s.degrees = s.animate ? 300 : 47.5f;
        s.scale = style == 1 ? 1.7f : 0.6f;
        s.r = 0.25f;
        expect_plain(*p, s, 0.35f, w, h, "style " + std::to_string(style) + " bits " +
                                             std::to_string(bits));
        if (HasFatalFailure()) return;
      }
}

TEST(SpinFrames, CentresFactorsAndExtremes) {
  auto p = seqfx_test::load("spin");
  struct Case { float deg, scale; int style, cx, cy; float f; };
  const Case cases[] = {
      {360, 1, 1, 0, 0, 0.5f},     {360, 1, 1, 0, 0, 0.0f},    {-1080, 10, 2, 0, 0, 1.0f},
      {1080, 0.05f, 3, 0, 0, 0.9f}, {90, 0.5f, 2, -18, 0, 0.5f}, {90, 0.5f, 2, 19, 0, 0.5f},
      {90, 0.5f, 2, 0, -11, 0.5f}, {90, 0.5f, 2, 0, 12, 0.5f},  {90, 0.5f, 2, -1024, 1024, 0.5f},
      {200, 0.5f, 0, 10, -7, 0.7f}, {200, 0.002f, 3, 3, 3, 1.0f}, {10, 0, 1, 0, 0, 0.5f},
      {10, 0, 2, 0, 0, 0.5f},      {10, 0, 3, 0, 0, 0.5f},     {10, 0, 0, 0, 0, 0.0f},
  };
  for (const Case &c : cases)
    for (int crossfade : {0, 1}) {
      Settings s;
      s.degrees = c.deg;
      s.scale = c.scale;
      s.style = c.style;
      s.cx = c.cx;
      s.cy = c.cy;
      s.crossfade = crossfade;
      expect_plain(*p, s, c.f, 37, 23, "deg " + std::to_string(c.deg) + " scale " +
                                           std::to_string(c.scale) + " style " +
                                           std::to_string(c.style));
      if (HasFatalFailure()) return;
    }
}

TEST(SpinFrames, PlainTurnsWithoutInterpolationAtManyAngles) {
  // Unspiralled turns sampled whole take the source pixel straight from
  // the turn's sine and cosine, except near pixel edges: angles that put
  // source points on the edges (0, 90, 180) and ones that do not, zooms,
  // shifted centres and single rows and columns.
  auto p = seqfx_test::load("spin");
  const std::pair<int, int> sizes[] = {{1, 13}, {13, 1}, {2, 2}, {33, 17}, {64, 9}};
  const float angles[] = {0, 30, -45, 90, 180, 7.25f, 1079, -333.3f};
  unsigned seed = 5;
  for (const auto &[w, h] : sizes)
    for (float deg : angles) {
      seed = seed * 1103515245u + 12345u;
      Settings s;
      s.spiral = 0;
      s.interpolate = 0;
      s.degrees = deg;
      s.animate = (seed >> 8) & 1;
      s.crossfade = (seed >> 9) & 1;
      s.style = (int[]){0, 1, 4}[(seed >> 10) % 3];
      s.scale = (float[]){1, 0.5f, 2, 1.37f}[(seed >> 12) % 4];
      s.cx = (int)((seed >> 14) % 9) - 4;
      s.cy = (int)((seed >> 18) % 7) - 3;
      const float f = s.animate ? (float)((seed >> 20) % 11) / 10.0f : 0.5f;
      expect_plain(*p, s, f, w, h, "deg " + std::to_string(deg) + " seed " + std::to_string(seed));
      if (HasFatalFailure()) return;
    }
}

TEST(SpinFrames, InterpolatedPlainTurnsMatchThePolarMappingByteForByte) {
  // Unspiralled turns take their source points from the turn's sine and
  // cosine and check every interpolated sum against its distance from an
  // integer. Pictures with flat channels (sums that land on an integer up
  // to rounding), with noise (sums anywhere) and with both; angles that put
  // points on pixel edges and near the 0.01 threshold (right angles, zooms
  // by powers of two, tiny turns) and random ones; every style, centres
  // off the middle, single rows and columns.
  auto p = seqfx_test::load("spin");
  unsigned seed = 17;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  for (int round = 0; round < 160; ++round) {
    const int w = round % 16 == 0 ? 1 + (int)(next() % 3) : 1 + (int)(next() % 67);
    const int h = round % 16 == 8 ? 1 + (int)(next() % 3) : 1 + (int)(next() % 41);
    const unsigned kind = next() % 3;
    auto picture = [&](unsigned salt) {
      Image img(w, h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          unsigned char *px = img.pixel(x, y);
          const unsigned noise = next() ^ salt;
          const bool flat = kind == 0 || (kind == 2 && ((x / 5 + y / 3) & 1));
          px[0] = flat ? (unsigned char)(x * 7 / 5 + 1) : (unsigned char)noise;
          px[1] = flat ? 255 : (unsigned char)(noise >> 8);
          px[2] = flat ? (unsigned char)((x / 3 + y / 2) & 1 ? 200 : 0) : (unsigned char)(noise >> 16);
          px[3] = (unsigned char)(noise >> 4);
        }
      return img;
    };
    Image a = picture(1), b = picture(2);
    Settings s;
    s.spiral = 0;
    s.interpolate = next() % 5 != 0;
    s.animate = next() % 3 == 0;
    s.crossfade = next() % 3 == 0;
    const float angles[] = {0, 90, -180, 270, 0.001f, 0.5f, 30, -45, 1079};
    s.degrees = next() % 2 ? angles[next() % 9] : (float)((int)(next() % 2161) - 1080) / 7.0f;
    const float scales[] = {1, 2, 0.5f, 4, 1.37f, 0.25f, 3.1f};
    s.scale = scales[next() % 7];
    s.style = (int)(next() % 5);
    s.cx = next() % 3 ? 0 : (int)(next() % (2 * w + 1)) - w;
    s.cy = next() % 3 ? 0 : (int)(next() % (2 * h + 1)) - h;
    s.r = 0.75f;
    const float f = s.animate ? (float)(next() % 11) / 10.0f : 0.5f;
    const std::string what = "round " + std::to_string(round) + " deg " +
                             std::to_string(s.degrees) + " scale " + std::to_string(s.scale) +
                             " style " + std::to_string(s.style);
    expect_plain_on(*p, s, f, a, b, what);
    if (HasFatalFailure()) return;
  }
}

TEST(SpinFrames, OutputInPlaceOfTheFirstStripReadsWhatWasAlreadyWritten) {
  // The output record may be the first strip's own. Pixels mapped in
  // batches must still read the source as the pixel-by-pixel walk leaves
  // it: interpolated and whole, straight turns and spirals, every style.
  auto p = seqfx_test::load("spin");
  unsigned seed = 99;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  for (int round = 0; round < 48; ++round) {
    const int w = 1 + (int)(next() % 70), h = 1 + (int)(next() % 41);
    Settings s;
    s.spiral = next() % 4 == 0;
    s.interpolate = next() % 4 != 0;
    s.animate = 0;
    s.crossfade = next() % 3 == 0;
    s.degrees = (float)((int)(next() % 721) - 360) / 3.0f;
    s.scale = (float[]){1, 0.5f, 2, 1.37f}[next() % 4];
    s.style = (int)(next() % 5);
    Image a = seqfx_test::test_picture(w, h, round), b = seqfx_test::test_picture(w, h, 77);
    Image want = plain_frame(s, 0.5f, a, b, true);
    apply(*p, s);
    p->render(1, 0.5f, 0, a, &b, a);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(seqfx_test::at(a, x, y), seqfx_test::at(want, x, y))
            << "round " << round << " " << w << "x" << h << " at " << x << "," << y;
  }
}

TEST(SpinFrames, AnglesAreOddInTheRowOffset) {
  // The angles kept between calls serve the rows on both sides of the
  // centre: the one of (dx, -dy) is taken as the negated one of (dx, dy)
  // for offsets up to 8192 either way. That holds only while atan2 is
  // exactly odd in y over them: every dx for rows spread over the whole
  // reach, every row for the dx near the centre.
  auto odd = [](double dx, double dy) {
    const double up = std::atan2(dy, dx), down = std::atan2(-dy, dx), neg = -up;
    return std::memcmp(&down, &neg, sizeof neg) == 0;
  };
  for (int dy = 1; dy <= 8192; dy += dy < 64 ? 1 : 97)
    for (int dx = -8192; dx <= 8192; ++dx) ASSERT_TRUE(odd(dx, dy)) << dx << "," << dy;
  for (int dy = 1; dy <= 8192; ++dy)
    for (int dx = -40; dx <= 40; ++dx) ASSERT_TRUE(odd(dx, dy)) << dx << "," << dy;
}

TEST(SpinFrames, CallsOfChangingSizesAndCentresRenderAsFreshOnes) {
  // The module keeps the angles of its output pixels from call to call
  // while the frame size and centre stay the same. Sizes that share a
  // centre but not a row length, centres moved by a pixel, sizes that come
  // back after others, turns that need only a few angles (plain turns)
  // before and after ones that need them all (spirals), in place and
  // cross-faded: every frame must be what the plain rendering gives.
  auto p = seqfx_test::load("spin", true);
  struct Geometry { int w, h, cx, cy; };
  // Centres inside the frame, above it, below it and too far off to keep.
  const Geometry g[] = {{37, 23, 0, 0},    {36, 23, 0, 0},   {37, 24, 0, 0},
                        {37, 23, 1, 0},    {37, 23, 0, -1},  {23, 37, 0, 0},
                        {37, 23, -40, 30}, {37, 23, 5, -30}, {37, 23, 9000, 0}};
  const int order[] = {0, 0, 1, 0, 2, 0, 3, 3, 0, 4, 0, 5, 0, 6, 6, 0, 7, 7, 6, 8, 8, 0, 1, 1, 0};
  unsigned seed = 31;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  int call = 0;
  for (int k : order) {
    const Geometry &at = g[k];
    Settings s;
    s.cx = at.cx;
    s.cy = at.cy;
    s.animate = 0;
    s.spiral = call % 3 == 2;
    s.crossfade = call % 4 == 1;
    s.interpolate = call % 5 != 4;
    s.degrees = (float)((int)(next() % 721) - 360) / 3.0f;
    s.scale = (float[]){1, 0.5f, 2, 1.37f}[next() % 4];
    s.style = (int)(next() % 4);
    // A flat picture leaves most interpolated pixels to the polar mapping.
    Image a = call % 2 ? seqfx_test::test_picture(at.w, at.h, call)
                       : seqfx_test::solid(at.w, at.h, {90, 200, 17, 255});
    Image b = seqfx_test::test_picture(at.w, at.h, 100 + call);
    const bool in_place = call % 6 == 3;
    Image want = plain_frame(s, 0.5f, a, b, in_place);
    Settings in_range = s;
    in_range.cx = in_range.cy = 0;
    apply(*p, in_range);
    std::memcpy(p->slot(p->find_row("CX")), &at.cx, 4);  // also centres outside the table
    std::memcpy(p->slot(p->find_row("CY")), &at.cy, 4);
    Image out(at.w, at.h);
    p->render(1, 0.5f, 0, a, &b, in_place ? a : out);
    const Image &got = in_place ? a : out;
    for (int y = 0; y < at.h; ++y)
      for (int x = 0; x < at.w; ++x)
        ASSERT_EQ(seqfx_test::at(got, x, y), seqfx_test::at(want, x, y))
            << "call " << call << " " << at.w << "x" << at.h << " centre " << at.cx << ","
            << at.cy << " at " << x << "," << y;
    ++call;
  }
}

}  // namespace
