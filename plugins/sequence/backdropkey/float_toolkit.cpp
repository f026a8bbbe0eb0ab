// The float image toolkit of backdropkey (see float_toolkit.h).

#include "float_toolkit.h"

#include "seqfx_alloc.h"
#include "clamps.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

using seqfx_common::clamp;

// The 256 quotients b / 255, each the double quotient rounded to float.
struct ByteToFloat {
  float v[256];
  ByteToFloat() {
    for (int b = 0; b < 256; ++b) v[b] = seqfx_common::byte_unit(b);
  }
};

const ByteToFloat &byte_to_float() {
  static const ByteToFloat table;
  return table;
}

// Four floats of one pixel, moved as one SSE register where the target has
// one; every lane does exactly the scalar single-precision operation.
typedef float v4f __attribute__((vector_size(16)));

inline v4f load4(const float *p) {
  v4f v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void store4(float *p, v4f v) { std::memcpy(p, &v, sizeof v); }

const v4f kZero = {0.0f, 0.0f, 0.0f, 0.0f};

// A float image of n pixels in bytes, or 0 when that does not fit a size_t
// (the allocation then fails like any other).
std::size_t image_bytes(std::size_t n) { return n > SIZE_MAX / 16 ? 0 : n * 16; }

// Pixels per block in the vectorised passes: the accumulators of one block
// stay in the first-level cache while the taps run over it.
constexpr int kBlock = 16;

constexpr int kMaxRadius = 1 << 16;

// Horizontal pass over all four channels: tmp(x, y) = sum over the taps, in
// order i = -r..r, of src(clamp(x + i), y) * w[i], starting from 0.
void horizontal_all(const float *src, float *tmp, int width, int height, const float *w, int r) {
  const std::size_t row = (std::size_t)width * 4;
  // Columns whose taps all fall inside the row.
  const int in_lo = r, in_hi = width - 1 - r;
  for (int y = 0; y < height; ++y) {
    const float *s = src + row * y;
    float *t = tmp + row * y;
    for (int x = 0; x < width;) {
      if (x < in_lo || x > in_hi) {
        v4f acc = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int i = -r; i <= r; ++i) {
          const v4f wi = {w[i + r], w[i + r], w[i + r], w[i + r]};
          acc += load4(s + 4 * (std::size_t)clamp(x + i, 0, width - 1)) * wi;
        }
        store4(t + 4 * (std::size_t)x, acc);
        ++x;
        continue;
      }
      const int count = in_hi - x + 1 < kBlock ? in_hi - x + 1 : kBlock;
      v4f acc[kBlock];
      for (int j = 0; j < count; ++j) acc[j] = kZero;
      for (int i = -r; i <= r; ++i) {
        const v4f wi = {w[i + r], w[i + r], w[i + r], w[i + r]};
        const float *si = s + 4 * (std::size_t)(x + i);
        for (int j = 0; j < count; ++j) acc[j] += load4(si + 4 * j) * wi;
      }
      for (int j = 0; j < count; ++j) store4(t + 4 * ((std::size_t)x + j), acc[j]);
      x += count;
    }
  }
}

// Vertical pass: dst(x, y) = sum over the taps of tmp(x, clamp(y + i)) *
// w[i], in order, starting from 0, for the components whose bits are set in
// lanes (the others of dst are left as they are). The four lanes are summed
// side by side either way, so one component costs what the whole pixel does
// and reads all of tmp.
void vertical(const float *tmp, float *dst, int width, int height, const float *w, int r,
              int lanes) {
  const std::size_t row = (std::size_t)width * 4;
  for (int y = 0; y < height; ++y) {
    float *d = dst + row * y;
    for (int x = 0; x < width; x += kBlock) {
      const int count = width - x < kBlock ? width - x : kBlock;
      v4f acc[kBlock];
      for (int j = 0; j < count; ++j) acc[j] = kZero;
      for (int i = -r; i <= r; ++i) {
        const v4f wi = {w[i + r], w[i + r], w[i + r], w[i + r]};
        const float *ti = tmp + row * clamp(y + i, 0, height - 1) + 4 * (std::size_t)x;
        for (int j = 0; j < count; ++j) acc[j] += load4(ti + 4 * j) * wi;
      }
      if (lanes == 0xF) {
        for (int j = 0; j < count; ++j) store4(d + 4 * ((std::size_t)x + j), acc[j]);
        continue;
      }
      for (int j = 0; j < count; ++j)
        for (int l = 0; l < 4; ++l)
          if (lanes >> l & 1) d[4 * ((std::size_t)x + j) + l] = acc[j][l];
    }
  }
}

}  // namespace

void ch2fl(const unsigned char *src, float *dst, int count) {
  const float *v = byte_to_float().v;
  for (int i = 0; i < count; ++i) dst[i] = v[src[i]];
}

void fl2ch(const float *src, unsigned char *dst, int count) {
  // With p = src * 255 (single), the byte is trunc((double)p + 0.5), where
  // the double sum is exact. For 0.5 <= p < 254.5 the single sum p + 0.5f
  // truncates to the same integer (it is exact, or rounds without crossing
  // an integer), below 0.5 the byte is 0 and from 254.5 on it is 255; so the
  // work is done four lanes at a time in single precision. The range tests
  // come first: no out-of-range value (nor a NaN, which gives 0) is ever
  // converted.
  typedef int v4i __attribute__((vector_size(16)));
  const v4f k255 = {255.0f, 255.0f, 255.0f, 255.0f}, half = {0.5f, 0.5f, 0.5f, 0.5f};
  const v4f top = {254.5f, 254.5f, 254.5f, 254.5f};
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const v4f p = load4(src + i) * k255;
    const v4i inside = (p >= half) & (p < top);
    const v4f q = inside ? p + half : kZero;
    v4i b = __builtin_convertvector(q, v4i);
    b = p >= top ? (v4i){255, 255, 255, 255} : b;
    for (int j = 0; j < 4; ++j) dst[i + j] = (unsigned char)b[j];
  }
  for (; i < count; ++i) {
    const float p = src[i] * 255.0f;
    dst[i] = p >= 254.5f ? 255 : (p >= 0.5f ? (unsigned char)(int)(p + 0.5f) : 0);
  }
}

void bytes_to_fyuv(const unsigned char *src, float *dst, int pixels) {
  // The products of frgb2fyuv depend on one byte each: tables of them give
  // the very same doubles, summed in the same order.
  static const struct Products {
    double y[3][256], u[3][256], v[3][256];
    Products() {
      const float *f = byte_to_float().v;
      for (int b = 0; b < 256; ++b) {
        const double x = f[b];
        y[0][b] = 0.299 * x, y[1][b] = 0.587 * x, y[2][b] = 0.114 * x;
        u[0][b] = -0.147 * x, u[1][b] = 0.289 * x, u[2][b] = 0.436 * x;
        v[0][b] = 0.615 * x, v[1][b] = 0.515 * x, v[2][b] = 0.1 * x;
      }
    }
  } t;
  const float *f = byte_to_float().v;
  for (int k = 0; k < pixels; ++k, src += 4, dst += 4) {
    const int r = src[0], g = src[1], b = src[2];
    dst[0] = (float)(t.y[0][r] + t.y[1][g] + t.y[2][b]);
    dst[1] = (float)(t.u[0][r] - t.u[1][g] + t.u[2][b] + 0.5);
    dst[2] = (float)(t.v[0][r] - t.v[1][g] - t.v[2][b] + 0.5);
    dst[3] = f[src[3]];
  }
}

void makecheck(float *buf, int width, int height) {
  if (width <= 0 || height <= 0) return;
  float v = 0.333f;
  for (int y = 0; y < height; ++y) {
    if (y % 8 == 0) v = 1.0f - v;
    float w = v;
    float *p = buf + (std::size_t)y * width * 4;
    for (int x = 0; x < width; ++x, p += 4) {
      if (x % 8 == 0) w = 1.0f - w;
      p[0] = p[1] = p[2] = w;
      p[3] = 0.0f;
    }
  }
}

int gaussianBlur(const float *src, float *dst, int width, int height, float amount, int radius,
                 int info, int channel, int channel2) {
  // A NaN amount and a negative radius blur nothing either, like amount <= 0
  // and radius 0. A channel outside -4..-1, 1..4 names no component: nothing
  // is blurred. An empty image has nothing to blur.
  if (!(amount > 0.0f) || radius <= 0) {
    if (info) std::printf("no blur\n");
    return 0;
  }
  if (channel == 0 || channel < -4 || channel > 4 || width <= 0 || height <= 0) return 0;
  // A second component goes along only as the pair the pair form allows.
  const bool pair = channel2 < -1 && channel2 >= -4 && channel < -1 && channel2 != channel && src == dst;
  if (channel2 != 0 && !pair) {
    gaussianBlur(src, dst, width, height, amount, radius, info, channel);
    return gaussianBlur(src, dst, width, height, amount, radius, info, channel2);
  }
  if (info) std::printf("\nstart blur...");

  const std::size_t n = (std::size_t)width * (std::size_t)height;
  const std::size_t bytes = image_bytes(n);
  // The keyer passes radii up to 5. A kernel wider than kMaxRadius, whose
  // tap positions would no longer fit an int, is refused like memory that
  // cannot be had.
  const bool fits = radius <= kMaxRadius;
  const int taps = fits ? 2 * radius + 1 : 0;
  float *tmp = bytes && fits ? static_cast<float *>(mallocN(bytes, "tempbuf")) : nullptr;
  float *w = fits ? static_cast<float *>(mallocN((std::size_t)taps * sizeof(float), "filterbuf"))
                  : nullptr;
  if (!tmp || !w) {
    std::printf("memory allocation falure...blur aborted\n");
    freeN(tmp);
    freeN(w);
    // The second component then gets its own attempt, as a call of its own.
    if (pair) gaussianBlur(src, dst, width, height, amount, radius, info, channel2);
    return 0;
  }

  // w[i + radius] is the weight of tap i. The centre tap is exp(0) = 1; it is
  // set directly because an amount so small that k overflows to -infinity
  // would make k * 0 a NaN, where the limit is 1 (and all other taps 0).
  const float k = (float)(-1.0 / (3.14159 * 2 * amount * amount));
  float sum = 0.0f;
  for (int i = -radius; i <= radius; ++i) {
    const float wi = i == 0 ? 1.0f : (float)std::exp((double)(k * (float)((long long)i * i)));
    w[i + radius] = wi;
    sum += wi;
  }
  for (int i = -radius; i <= radius; ++i) w[i + radius] = w[i + radius] / sum;

  // What one call says from here on; a pair says it twice, as two calls
  // one after the other would.
  auto say = [&](int ch) {
    if (info > 1) {
      std::printf("malloc ok...");
      float subtotal = 0.0f;
      for (int i = -radius; i <= radius; ++i) {
        subtotal += w[i + radius];
        std::printf("filter %d: %f...subtotal=%f\n", i, w[i + radius], subtotal);
      }
    }
    const int cc = (ch < 0 ? -ch : ch) - 1;
    if (info && cc != 0) std::printf("blur channel %d only...", cc);
    if (info > 1) std::printf("horiz pass %dx ok...", taps);
    if (ch > 0 && info) std::printf("no vert blur...\n");
    if (ch < 0 && info > 1) std::printf("vert pass %dx ok\n", taps);
  };
  say(channel);
  if (pair) {
    if (info) std::printf("\nstart blur...");
    say(channel2);
  }

  const int c = (channel < 0 ? -channel : channel) - 1;

  // The horizontal pass reads only src and the vertical pass only tmp, so
  // src may be dst. The horizontal pass fills all four components of tmp
  // (each lane is summed alone, so component c is what a pass over c alone
  // gives), and every element of tmp that is read was written first.
  if (c != 0 && src != dst) std::memcpy(dst, src, bytes);  // the others reach dst unchanged
  horizontal_all(src, tmp, width, height, w, radius);
  if (channel > 0) {
    if (c == 0) {
      std::memcpy(dst, tmp, bytes);
    } else {
      for (std::size_t p = 0; p < n; ++p) dst[4 * p + c] = tmp[4 * p + c];
    }
  } else {
    const int lanes = c == 0 ? 0xF : 1 << c | (pair ? 1 << (-channel2 - 1) : 0);
    vertical(tmp, dst, width, height, w, radius, lanes);
  }

  freeN(tmp);
  freeN(w);
  return 0;
}
