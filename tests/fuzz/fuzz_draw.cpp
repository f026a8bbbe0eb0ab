#include "fuzz_draw.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace seqfx_fuzz {

Rng::Rng(std::uint64_t seed, std::uint64_t stream) : state_(seed * 0x9E3779B97F4A7C15ull ^ (stream + 0x632BE59BD9B4E019ull)) {
  next();
  next();
}

std::uint64_t Rng::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

namespace {

double finite_bound(float v, double fallback) { return std::isfinite(v) ? (double)v : fallback; }

std::int32_t in_range_int(Rng &rng, const ParamDescriptor &r) {
  double lo = finite_bound(r.min, 0), hi = finite_bound(r.max, 0);
  if (hi < lo) std::swap(lo, hi);
  lo = std::max(lo, (double)INT_MIN);
  hi = std::min(hi, (double)INT_MAX);
  switch (rng.below(4)) {
    case 0: return (std::int32_t)std::ceil(lo);
    case 1: return (std::int32_t)std::floor(hi);
    case 2: return std::isfinite(r.def) ? (std::int32_t)r.def : 0;
    default: return (std::int32_t)std::floor(lo + rng.unit() * (hi - lo) + 0.5);
  }
}

std::int32_t wild_int(Rng &rng, const ParamDescriptor &r) {
  const double lo = finite_bound(r.min, 0), hi = finite_bound(r.max, 0);
  switch (rng.below(9)) {
    case 0: return (std::int32_t)std::max(lo - 1, (double)INT_MIN);
    case 1: return (std::int32_t)std::min(hi + 1, (double)INT_MAX);
    case 2: return INT_MAX;
    case 3: return INT_MIN;
    case 4: return -rng.between(1, 1000);
    case 5: return rng.chance(50) ? 1000000000 : -1000000000;
    case 6: return (std::int32_t)std::min(hi * 100 + 100, (double)INT_MAX);
    case 7: return rng.between(-70000, 70000);
    default: return (std::int32_t)rng.bits();
  }
}

float in_range_float(Rng &rng, const ParamDescriptor &r) {
  double lo = finite_bound(r.min, 0), hi = finite_bound(r.max, 0);
  if (hi < lo) std::swap(lo, hi);
  switch (rng.below(4)) {
    case 0: return (float)lo;
    case 1: return (float)hi;
    case 2: return std::isfinite(r.def) ? r.def : 0.0f;
    default: return (float)(lo + rng.unit() * (hi - lo));
  }
}

float wild_float(Rng &rng, const ParamDescriptor &r) {
  const double lo = finite_bound(r.min, 0), hi = finite_bound(r.max, 0);
  const double span = std::max(1.0, hi - lo);
  switch (rng.below(13)) {
    case 0: return std::numeric_limits<float>::quiet_NaN();
    case 1: return std::numeric_limits<float>::infinity();
    case 2: return -std::numeric_limits<float>::infinity();
    case 3: return FLT_MAX;
    case 4: return -FLT_MAX;
    case 5: return rng.chance(50) ? 1e30f : -3e6f;
    case 6: return (float)(lo - span * rng.unit() - 1e-3);
    case 7: return (float)(hi + span * rng.unit() + 1e-3);
    case 8: return FLT_MIN / 4;  // a subnormal
    case 9: return -0.0f;
    case 10: return (float)(rng.chance(50) ? 2147483648.0 : -2147483904.0);
    case 11: return (float)(hi * 1000 + 1000);
    default: {
      std::uint32_t b = rng.bits();
      float f;
      std::memcpy(&f, &b, 4);
      return f;
    }
  }
}

void write_text(Rng &rng, seqfx::Plugin &plugin, int row) {
  const ParamDescriptor &r = plugin.row(row);
  const int max = std::isfinite(r.max) && r.max > 0 ? (int)std::min(r.max, 4096.0f) : 0;
  const int len = rng.chance(30) ? max : rng.between(0, max);
  std::vector<char> text((std::size_t)len + 1, '\0');
  for (int i = 0; i < len; ++i)
    text[(std::size_t)i] = rng.chance(80) ? (char)rng.between(32, 126) : (char)rng.between(1, 255);
  std::memcpy(plugin.slot(row), text.data(), text.size());
}

}  // namespace

void draw_slots(Rng &rng, seqfx::Plugin &plugin, int wild) {
  const PluginDescription &d = plugin.description();
  for (int i = 0; i < plugin.row_count(); ++i) {
    const ParamDescriptor &r = plugin.row(i);
    const int kind = seqfx::row_kind(r);
    if (kind == PLUGIN_LABEL) continue;
    unsigned char *slot = plugin.slot(i);
    const bool out_of_range = rng.below(100) < wild;
    if (kind == PLUGIN_TEXT) {
      write_text(rng, plugin, i);
    } else if (kind == PLUGIN_COLOUR) {
      std::uint32_t b = rng.bits();
      std::memcpy(slot, &b, 4);
    } else if (kind == PLUGIN_TRITOGGLE && !out_of_range) {
      static const std::uint16_t states[3][2] = {{0, 0}, {1, 0}, {1, 1}};
      std::memcpy(slot, states[rng.below(3)], 4);
    } else if (out_of_range && rng.chance(15)) {
      std::uint32_t b = rng.bits();
      std::memcpy(slot, &b, 4);
    } else if (seqfx::row_type(r) == PLUGIN_FLOAT) {
      float f = out_of_range ? wild_float(rng, r) : in_range_float(rng, r);
      std::memcpy(slot, &f, 4);
    } else {
      std::int32_t v = out_of_range ? wild_int(rng, r) : in_range_int(rng, r);
      std::memcpy(slot, &v, 4);
    }
    if (d.but_changed && rng.chance(70)) d.but_changed(i);
  }
}

void draw_frame_size(Rng &rng, int &w, int &h) {
  switch (rng.below(6)) {
    case 0: w = 1; h = rng.between(1, 100); break;
    case 1: w = rng.between(1, 100); h = 1; break;
    case 2: w = rng.between(1, 4); h = rng.between(1, 4); break;
    default: w = rng.between(1, 100); h = rng.between(1, 100); break;
  }
}

std::unique_ptr<seqfx::Image> draw_image(Rng &rng, int w, int h, bool uses_float, bool needs_depth) {
  int rw = w, rh = h;
  const int shape = rng.below(100);
  if (shape < 10) {
    rw = rng.between(0, w);
    rh = rng.between(0, h);
  } else if (shape < 14) {
    rw = rng.chance(50) ? w : rng.between(0, w);
    rh = rng.chance(50) ? h - 1 : rng.between(0, h);
  } else if (shape < 18) {
    rw = w + rng.between(0, 20);
    rh = h + rng.between(0, 20);
  }
  auto img = std::make_unique<seqfx::Image>(rw, rh, !rng.chance(8));
  const std::size_t n = img->pixels();
  if (unsigned char *p = img->rect())
    for (std::size_t i = 0; i < 4 * n; ++i) p[i] = (unsigned char)rng.bits();
  if (rng.chance(needs_depth ? 75 : 25)) {
    int *z = img->add_zbuf();
    const int style = rng.below(4);
    for (std::size_t i = 0; i < n; ++i) {
      switch (style) {
        case 0: z[i] = (int)rng.bits(); break;
        case 1: z[i] = rng.chance(50) ? INT_MAX : INT_MIN; break;
        case 2: z[i] = rng.between(-1000, 1000); break;
        default: z[i] = rng.between(0, 0x7FFFFF) << 8; break;
      }
    }
  }
  if (rng.chance(uses_float ? 75 : 20)) {
    float *f = img->add_floatbuf();
    const bool wide = rng.chance(20);
    for (std::size_t i = 0; i < 4 * n; ++i)
      f[i] = wide ? (float)(rng.unit() * 20 - 10) : (float)rng.unit();
  }
  return img;
}

float draw_frame_number(Rng &rng) {
  switch (rng.below(6)) {
    case 0: return 0.0f;
    case 1: return (float)-rng.between(1, 500);
    case 2: return (float)rng.between(100000, 10000000);
    default: return (float)rng.between(1, 300);
  }
}

float draw_factor(Rng &rng) {
  switch (rng.below(4)) {
    case 0: return 0.0f;
    case 1: return 1.0f;
    default: return (float)rng.unit();
  }
}

}  // namespace seqfx_fuzz
