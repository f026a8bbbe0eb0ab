// invert: per-channel inversion, additive offsets and an optional
// hue/saturation/value shift of one strip.

#include "hsv_lanes.h"
#include "seqfx_module.h"

#include <emmintrin.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

namespace {

// One 4-byte slot per table row.
struct Params {
  int label_input, label_invert;
  int red, green, blue, alpha;
  int label_rgb;
  float red_sat, blue_sat, green_sat, alpha_sat;
  int label_hsv;
  float hue, saturation, value;
};

// Adds an offset to a byte: single-precision sum, truncated toward zero,
// limited to 0..255. The comparisons come first so that no out-of-range
// float is ever converted.
inline unsigned char offset_byte(unsigned char byte, float offset) {
  float sum = (float)byte + offset;
  if (!(sum > 0.0f)) return 0;  // also a NaN offset
  if (sum >= 255.0f) return 255;
  return (unsigned char)(int)sum;
}

constexpr int kCacheBits = 16;
constexpr std::size_t kCacheSize = (std::size_t)1 << kCacheBits;

inline bool slider_active(float v) { return (double)v >= 0.01 || (double)v <= -0.01; }

// Hexcone conversion with byte 2 in the place of green and byte 1 in the
// place of blue, both ways.
//
// The shift itself is this module's own choice:
//  - the hue slider spans whole turns (1.0 = 360 degrees) and wraps;
//  - saturation and value (value normalised by 255) are shifted by the
//    slider and limited to 0..1;
//  - an undefined hue (grey pixel) stays undefined: the pixel stays grey and
//    only its value changes, since there is no colour to turn or saturate.
void shift_hsv(unsigned char *px, double dh, double ds, double dv) {
  const int b0 = px[0], b1 = px[1], b2 = px[2];
  int mx = b0, mn = b0;
  if (b1 > mx) mx = b1;
  if (b2 > mx) mx = b2;
  if (b1 < mn) mn = b1;
  if (b2 < mn) mn = b2;
  const double delta = mx - mn;
  double s = mx == 0 ? 0.0 : delta / mx;
  double h;
  if (delta == 0.0) {
    h = -1.0;
  } else if (b0 == mx) {
    h = 60.0 * (b2 - b1) / delta;
  } else if (b2 == mx) {
    h = 60.0 * (2.0 + (b1 - b0) / delta);
  } else {
    h = 60.0 * (4.0 + (b0 - b2) / delta);
  }
  if (h < 0.0 && delta != 0.0) h += 360.0;

  // Limits written so that a shift that is not a number gives 0.
  double v = mx / 255.0 + dv;
  v = v > 0.0 ? (v > 1.0 ? 1.0 : v) : 0.0;
  if (h < 0.0) {
    s = 0.0;
  } else {
    s += ds;
    s = s > 0.0 ? (s > 1.0 ? 1.0 : s) : 0.0;
    h = std::fmod(h + dh * 360.0, 360.0);
    if (h < 0.0) h += 360.0;
  }

  if (s == 0.0) {
    const unsigned char g = (unsigned char)std::floor(255.0 * v);
    px[0] = px[1] = px[2] = g;
    return;
  }
  if (!(h < 360.0)) h = 0.0;  // also a hue turned by a shift that is not a number
  h /= 60.0;
  int i = (int)std::floor(h);
  if (i > 5) i = 5;
  const double f = h - i;
  const double p = v * (1.0 - s);
  const double q = v * (1.0 - s * f);
  const double t = v * (1.0 - s * (1.0 - f));
  const unsigned char V = (unsigned char)std::floor(v * 255.0);
  const unsigned char P = (unsigned char)std::floor(p * 255.0);
  const unsigned char Q = (unsigned char)std::floor(q * 255.0);
  const unsigned char T = (unsigned char)std::floor(t * 255.0);
  unsigned char r0, r1, r2;
  switch (i) {
    case 0: r0 = V; r1 = P; r2 = T; break;
    case 1: r0 = Q; r1 = P; r2 = V; break;
    case 2: r0 = P; r1 = T; r2 = V; break;
    case 3: r0 = P; r1 = V; r2 = Q; break;
    case 4: r0 = T; r1 = V; r2 = P; break;
    default: r0 = V; r1 = Q; r2 = P; break;
  }
  px[0] = r0;
  px[1] = r1;
  px[2] = r2;
}

// A channel's table is often "flip the byte or not, then add or subtract a
// constant with saturation" (whole offsets, and fractional ones whose
// truncation lands the same way for every byte). Finds that form by
// checking all 256 entries, so the fast path gives the table's bytes.
struct ByteOp {
  unsigned char flip, add, sub;
};

bool as_byte_op(const unsigned char lut[256], bool flip, ByteOp &op) {
  const int k = (int)lut[128] - (flip ? 127 : 128);
  op.flip = flip ? 0xFF : 0;
  op.add = (unsigned char)(k > 0 ? k : 0);
  op.sub = (unsigned char)(k < 0 ? -k : 0);
  for (int b = 0; b < 256; ++b) {
    int v = (flip ? 255 - b : b) + k;
    v = v < 0 ? 0 : (v > 255 ? 255 : v);
    if (lut[b] != v) return false;
  }
  return true;
}

#if defined(__x86_64__)
// Eight pixels at a time where the processor has AVX2: the same byte
// operations with both halves of a register holding the same operands.
// Returns the pixels done.
__attribute__((target("avx2"))) long byte_ops_avx2(const unsigned char *src, unsigned char *dst, long n,
                                                   __m128i flip4, __m128i add4, __m128i sub4) {
  const __m256i flip = _mm256_broadcastsi128_si256(flip4), add = _mm256_broadcastsi128_si256(add4),
                sub = _mm256_broadcastsi128_si256(sub4);
  long k = 0;
  for (; k + 8 <= n; k += 8) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + 4 * k));
    v = _mm256_subs_epu8(_mm256_adds_epu8(_mm256_xor_si256(v, flip), add), sub);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + 4 * k), v);
  }
  return k;
}
#endif

// Four pixels at a time: xor, saturating add, saturating subtract, each
// lane holding the operands of its own channel.
void apply_byte_ops(const unsigned char *src, unsigned char *dst, long n, const ByteOp op[4]) {
  auto lanes = [&](unsigned char ByteOp::*field) {
    unsigned word = 0;
    for (int c = 0; c < 4; ++c) word |= (unsigned)(op[c].*field) << (8 * c);
    return _mm_set1_epi32((int)word);
  };
  const __m128i flip = lanes(&ByteOp::flip), add = lanes(&ByteOp::add), sub = lanes(&ByteOp::sub);
  long k = 0;
#if defined(__x86_64__)
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) k = byte_ops_avx2(src, dst, n, flip, add, sub);
#endif
  for (; k + 4 <= n; k += 4) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 4 * k));
    v = _mm_subs_epu8(_mm_adds_epu8(_mm_xor_si128(v, flip), add), sub);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * k), v);
  }
  for (; k < n; ++k)
    for (int c = 0; c < 4; ++c) {
      int v = (src[4 * k + c] ^ op[c].flip) + op[c].add - op[c].sub;
      dst[4 * k + c] = (unsigned char)(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "invert";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 1 strip"),
    SEQFX_LABEL("Invert"),
    SEQFX_FIELD(red, PLUGIN_CODE_TOGGLE, "Red", 1, 0, 1, "Invert Red"),
    SEQFX_FIELD(green, PLUGIN_CODE_TOGGLE, "Green", 1, 0, 1, "Invert Green"),
    SEQFX_FIELD(blue, PLUGIN_CODE_TOGGLE, "Blue", 1, 0, 1, "Invert Blue"),
    SEQFX_FIELD(alpha, PLUGIN_CODE_TOGGLE, "Alpha", 0, 0, 1, "Invert Alpha"),
    SEQFX_LABEL("RGB Modifiers"),
    SEQFX_FIELD(red_sat, PLUGIN_CODE_SLIDER_FLOAT, "redSat", 0, -255, 255, "Modify Saturation"),
    SEQFX_FIELD(blue_sat, PLUGIN_CODE_SLIDER_FLOAT, "BlueSat", 0, -255, 255, "Modify Saturation"),
    SEQFX_FIELD(green_sat, PLUGIN_CODE_SLIDER_FLOAT, "GreenSat", 0, -255, 255, "Modify Saturation"),
    SEQFX_FIELD(alpha_sat, PLUGIN_CODE_SLIDER_FLOAT, "AlphaSat", 0, -255, 255, "Modify Saturation"),
    SEQFX_LABEL("HSV Modifiers"),
    SEQFX_FIELD(hue, PLUGIN_CODE_SLIDER_FLOAT, "Hue", 0, -1, 1, "Modify Saturation"),
    SEQFX_FIELD(saturation, PLUGIN_CODE_SLIDER_FLOAT, "Saturation", 0, -1, 1, "Modify Saturation"),
    SEQFX_FIELD(value, PLUGIN_CODE_SLIDER_FLOAT, "Value", 0, -1, 1, "Modify Saturation"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  // Output pixel k is made from input pixel k for the width x height pixels
  // of the frame; an image missing its pixels, or holding fewer than the
  // frame, limits the walk so that nothing outside an image is touched.
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect || width <= 0 || height <= 0) return;
  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;
  long n = (long)width * height;
  const long in_pixels = (long)ibuf1->xsize * ibuf1->ysize;
  const long out_pixels = (long)out->xsize * out->ysize;
  if (in_pixels < n) n = in_pixels;
  if (out_pixels < n) n = out_pixels;

  // The toggle named "Blue" inverts byte 1 and "Green" byte 2.
  const bool inv[4] = {p->red != 0, p->blue != 0, p->green != 0, p->alpha != 0};
  const float off[4] = {p->red_sat, p->green_sat, p->blue_sat, p->alpha_sat};
  const bool hsv = slider_active(p->hue) || slider_active(p->saturation) || slider_active(p->value);

  // Inversion then offset is, per channel, a function of the byte alone:
  // a 256-entry table per channel does both.
  unsigned char lut[4][256];
  for (int c = 0; c < 4; ++c)
    for (int b = 0; b < 256; ++b)
      lut[c][b] = offset_byte((unsigned char)(inv[c] ? 255 - b : b), off[c]);
  ByteOp ops[4];
  const bool byte_ops = as_byte_op(lut[0], inv[0], ops[0]) && as_byte_op(lut[1], inv[1], ops[1]) &&
                        as_byte_op(lut[2], inv[2], ops[2]) && as_byte_op(lut[3], inv[3], ops[3]);
  const bool lanes = hsv && invert_hsv::lanes_apply(p->hue, p->saturation, p->value);
  if (!hsv || lanes) {
    // The tables first, into out; then the shift in place.
    if (byte_ops) {
      apply_byte_ops(src, dst, n, ops);
    } else {
      for (long k = 0; k < n; ++k)
        for (int c = 0; c < 4; ++c) dst[4 * k + c] = lut[c][src[4 * k + c]];
    }
    if (lanes) invert_hsv::shift_lanes(dst, n, p->hue, p->saturation, p->value);
    return;
  }
  // The shift depends on the three colour bytes alone: a direct-mapped
  // cache of recent colours spares repeating it for colours seen before
  // (flat areas, repeated tones). Each entry holds the colour in its low
  // 24 bits and the shifted colour above; the top bit marks it filled.
  // Without room for it, every pixel is shifted.
  std::unique_ptr<std::uint64_t[]> seen(hsv ? new (std::nothrow) std::uint64_t[kCacheSize]() : nullptr);
  for (long k = 0; k < n; ++k, src += 4, dst += 4) {
    unsigned char px[4] = {lut[0][src[0]], lut[1][src[1]], lut[2][src[2]], lut[3][src[3]]};
    if (hsv && !seen) {
      shift_hsv(px, p->hue, p->saturation, p->value);
    } else if (hsv) {
      const std::uint32_t key = (std::uint32_t)px[0] | (std::uint32_t)px[1] << 8 | (std::uint32_t)px[2] << 16;
      std::uint64_t &slot = seen[(key * 2654435761u) >> (32 - kCacheBits)];
      if ((slot >> 63) && (std::uint32_t)(slot & 0xFFFFFF) == key) {
        px[0] = (unsigned char)(slot >> 24);
        px[1] = (unsigned char)(slot >> 32);
        px[2] = (unsigned char)(slot >> 40);
      } else {
        shift_hsv(px, p->hue, p->saturation, p->value);
        slot = (std::uint64_t)1 << 63 | key | (std::uint64_t)px[0] << 24 |
               (std::uint64_t)px[1] << 32 | (std::uint64_t)px[2] << 40;
      }
    }
    dst[0] = px[0];
    dst[1] = px[1];
    dst[2] = px[2];
    dst[3] = px[3];
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
