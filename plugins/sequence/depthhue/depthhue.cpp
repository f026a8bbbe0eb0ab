// depthhue: recolours one rendered strip by depth. Every pixel keeps its
// saturation and brightness; its hue runs from red at the Front depth
// through yellow and green to blue at the Back depth.

#include "seqfx_module.h"

#include "hsv.h"
#include "recolour_lanes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

using namespace depthhue_impl;
using seqfx_module::pixel_count;
using seqfx_module::pixels_to_walk;

// One 4-byte slot per table row.
struct Params {
  int label;
  float front;     // depth fraction -1..1 shown red; written by Auto Range
  float back;      // depth fraction shown blue; written by Auto Range
  int auto_range;  // Front and Back follow the nearest and farthest pixel
  int non_linear;
  float exponent;  // power applied to the position between Front and Back
};

// A depth as a fraction of the signed range, in single precision.
inline float depth_fraction(int z) { return (float)z / 2147483648.0f; }

// 0..1 with anything that is not a number counting as 0.
inline double limit(double u) {
  if (!(u > 0.0)) return 0.0;
  return u > 1.0 ? 1.0 : u;
}

// The mapping of a depth fraction d onto the hue's sector, u = A d + B
// between Front (0) and Back (1).
class HueMap {
 public:
  explicit HueMap(const Params &p)
      : front_(p.front), non_linear_(p.non_linear != 0), exponent_(p.exponent) {
    const float span = p.back - p.front;
    // Front equal to Back leaves no span to divide: the mapping becomes a
    // step, red at or in front of that depth and blue behind it.
    step_ = span == 0.0f;
    a_ = 1.0 / (double)span;
    b_ = (double)(p.front / (p.front - p.back));
  }

  // Plain u = A d + B, without a step or a power.
  bool linear() const { return !step_ && !non_linear_; }
  double a() const { return a_; }
  double b() const { return b_; }

  Sector operator()(float d) const {
    double u = step_ ? (d > front_ ? 1.0 : 0.0) : limit(a_ * (double)d + b_);
    // Exponents beyond the slider's range could lift u past 1 (or make it
    // not a number): the result is limited again.
    if (non_linear_ && u > 0.0) u = limit(std::exp((double)exponent_ * std::log(u)));
    return hue_sector((float)(u * 240.0));
  }

 private:
  float front_;
  bool non_linear_;
  float exponent_;
  bool step_;
  double a_, b_;
};

// Neighbouring pixels mostly share few depths: the sector of each depth
// seen is kept by the bits of its fraction (a depth fraction is never a
// NaN, so the empty mark never matches). Without memory for the table every
// depth is mapped afresh.
class HueCache {
 public:
  explicit HueCache(const HueMap &map) : map_(map), entries_(new (std::nothrow) Entry[kSize]) {
    if (entries_)
      for (int i = 0; i < kSize; ++i) entries_[i].key = kEmpty;
  }
  Sector operator()(float d) {
    if (!entries_) return map_(d);
    std::uint32_t key;
    std::memcpy(&key, &d, 4);
    Entry &e = entries_[(key * 2654435761u) >> (32 - kBits)];
    if (e.key != key) {
      e.key = key;
      e.sector = map_(d);
    }
    return e.sector;
  }

 private:
  static constexpr std::uint32_t kEmpty = 0x7FC00001u;
  static constexpr int kBits = 14, kSize = 1 << kBits;
  struct Entry {
    std::uint32_t key;
    Sector sector;
  };
  const HueMap &map_;
  std::unique_ptr<Entry[]> entries_;
};

// Front and Back from the nearest and farthest depth of the plane. The
// fraction grows with the depth, so the extremes of the depths give the
// extremes of the fractions.
void auto_range(const int *z, long n, Params *p) {
  if (n <= 0) return;  // no depths: the slots keep their values
  int lo = z[0], hi = z[0];
  for (long i = 1; i < n; ++i) {
    lo = z[i] < lo ? z[i] : lo;
    hi = z[i] > hi ? z[i] : hi;
  }
  double lowest = 2.0, highest = -2.0;
  if ((double)depth_fraction(lo) < lowest) lowest = depth_fraction(lo);
  if ((double)depth_fraction(hi) > highest) highest = depth_fraction(hi);
  p->front = (float)lowest;
  p->back = (float)highest;
}

inline unsigned char to_byte(float c) { return (unsigned char)(int)(c * 255.0f); }

// What a pixel's new colour takes from its own bytes depends on its largest
// (m) and smallest (n) byte alone: its value and saturation as rgb2sv gives
// them from the bytes over 255 (rounded to single), and the bytes of v and
// of p = v(1 - s). Built once.
struct Shades {
  float v[256];
  unsigned char v_byte[256];
  float s[256][256];
  unsigned char p_byte[256][256];
  Shades() {
    float unit[256];
    for (int i = 0; i < 256; ++i) unit[i] = (float)(i / 255.0);
    for (int m = 0; m < 256; ++m)
      for (int n = 0; n <= m; ++n) {
        float sat, val;
        rgb2sv(unit[m], unit[n], unit[n], &sat, &val);
        s[m][n] = sat;
        p_byte[m][n] = to_byte(hsv_p(sat, val));
        v[m] = val;
        v_byte[m] = to_byte(val);
      }
  }
};

void recolour(const unsigned char *src, const int *z, unsigned char *dst, long n, const HueMap &map,
              HueCache &hue) {
  static const Shades shades;
  long done = 0;
  if (map.linear()) {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) done = recolour_linear_avx2(src, z, dst, n, map.a(), map.b());
#endif
    done += recolour_linear_lanes<4>(src + 4 * done, z + done, dst + 4 * done, n - done, map.a(), map.b());
  } else {
    // Any other mapping: the sectors one by one from the cache, the
    // colours four at a time.
    typedef Lanes<4>::I I;
    typedef Lanes<4>::F F;
    typedef Lanes<4>::U U;
    for (; done + 4 <= n; done += 4) {
      I sector;
      F w;
      for (int k = 0; k < 4; ++k) {
        const Sector s = hue(depth_fraction(z[done + k]));
        sector[k] = s.i;
        w[k] = s.w;
      }
      U px, out;
      std::memcpy(&px, src + 4 * done, sizeof px);
      recolour_lanes<4>(px, sector, w, out);
      std::memcpy(dst + 4 * done, &out, sizeof out);
    }
  }
  src += 4 * done;
  dst += 4 * done;
  for (long i = done; i < n; ++i, src += 4, dst += 4) {
    unsigned char px[4];
    std::memcpy(px, src, 4);  // out may be the input itself
    const int hi = std::max({px[0], px[1], px[2]}), lo = std::min({px[0], px[1], px[2]});
    if (hi == lo) {
      // Saturation 0: grey keeps its value and its depth is not looked up.
      px[0] = px[1] = px[2] = shades.v_byte[hi];
    } else {
      const Sector hs = hue(depth_fraction(z[i]));
      const unsigned char *at = hsv_place[hs.i >= 0 && hs.i < 6 ? hs.i : 0];
      const unsigned v = shades.v_byte[hi], p = shades.p_byte[hi][lo];
      const unsigned x = to_byte(hsv_x(hs, shades.s[hi][lo], shades.v[hi]));
      // The three bytes placed by their channels, 8 bits apart.
      const unsigned rgb = v << (8 * at[0]) | x << (8 * at[1]) | p << (8 * at[2]);
      px[0] = (unsigned char)rgb;
      px[1] = (unsigned char)(rgb >> 8);
      px[2] = (unsigned char)(rgb >> 16);
    }
    std::memcpy(dst, px, 4);
  }
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "DepthHue";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 1 strip"),
    SEQFX_FIELD(front, PLUGIN_CODE_SLIDER_FLOAT, "Front ", -1, -1, 1, "Distance to Red"),
    SEQFX_FIELD(back, PLUGIN_CODE_SLIDER_FLOAT, "Back ", 1, -1, 1, "Distance to Blue"),
    SEQFX_FIELD(auto_range, PLUGIN_CODE_TOGGLE, "Auto Range", 1, 0, 1, "Auto ranging"),
    SEQFX_FIELD(non_linear, PLUGIN_CODE_TOGGLE, "Non-linear", 0, 0, 1, "Toggle Non-Linear"),
    SEQFX_FIELD(exponent, PLUGIN_CODE_SLIDER_FLOAT, "Exponent ", 1, 0.25f, 2, "Non-linear Power"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  Params *p = static_cast<Params *>(params);
  if (!ibuf1) return;
  if (!ibuf1->zbuf) {
    std::printf("no zbuf\n");
    return;
  }
  if (p->auto_range) auto_range(ibuf1->zbuf, pixel_count(ibuf1), p);
  if (!out || !out->rect || !ibuf1->rect) return;

  const HueMap map(*p);
  HueCache hue(map);
  recolour(ibuf1->rect, ibuf1->zbuf, out->rect, pixels_to_walk(ibuf1, out), map, hue);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
