// tonecut: keys the first strip over the second by closeness to a key
// colour in this module's own YUV space, with per-channel tolerances and
// switches, a soft blend ramp and debug views of the Y, U and V planes.

#include "seqfx_module.h"
#include "clamps.h"
#include "yuv_planes.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

using seqfx_module::pixel_count;

// Pixels converted to planes at a time: small enough to stay in the
// nearest cache between the conversion and the keying.
constexpr long kRun = 256;

// One 4-byte slot per table row.
struct Params {
  float y, u, v;  // key colour
  float tol_y, tol_u, tol_v;
  int y_on, u_on, v_on;
  float blend;
  int debug;      // -1 keying, 0/1/2 show Y/U/V
};

// The key settings, read once per frame.
struct Key {
  bool y_on, u_on, v_on;
  float y, u, v, tol_y, tol_u, tol_v, blend;
};

// The key weight k of one pixel. A pixel that is no candidate gets k = 0,
// which mixes back its own bytes exactly. m = 0 also gives k = 0 with
// Blend 0, where m / Blend would be 0 / 0.
inline float key_weight(const Key &key, float y, float u, float v) {
  float sum = 0.0f;
  int count = 0;
  if (key.y_on) {
    const float d = std::fabs(y - key.y);
    if (d <= key.tol_y) sum += 1.0f - d / key.tol_y, ++count;
  }
  if (key.u_on) {
    const float d = std::fabs(u - key.u);
    if (d <= key.tol_u) sum += 1.0f - d / key.tol_u, ++count;
  }
  if (key.v_on) {
    const float d = std::fabs(v - key.v);
    if (d <= key.tol_v) sum += 1.0f - d / key.tol_v, ++count;
  }
  if (count == 0) return 0.0f;
  const float m = sum / count;
  return m > key.blend ? 1.0f : (m == 0.0f ? 0.0f : m / key.blend);
}

// Each byte: background k + foreground (1 - k), single precision, truncated.
// A weight that is not a number (a tolerance of 0 meeting a distance of 0,
// or a blend that is not a number) stores 0, as the four-pixel path does.
inline void mix(unsigned char *dst, const unsigned char *fg, const unsigned char *bg, float k) {
  const float rest = 1.0f - k;
  for (int c = 0; c < 4; ++c) dst[c] = seqfx_common::low_byte((float)bg[c] * k + (float)fg[c] * rest);
}

// The same for four pixels at a time, lane by lane with the same operations
// in the same order. Absent terms add +0, which leaves the sum unchanged,
// and a count of 0 divides 0 by 1, so no lane needs a branch.
typedef float v4f __attribute__((vector_size(16)));
typedef int v4i __attribute__((vector_size(16)));
typedef double v2d __attribute__((vector_size(16)));

inline v4f select(v4i mask, v4f a, v4f b) { return (v4f)((mask & (v4i)a) | (~mask & (v4i)b)); }
inline v4f vabs(v4f x) { return (v4f)((v4i)x & 0x7fffffff); }

// The closeness term where the lane's mask is set, +0 elsewhere.
inline v4f term(v4i mask, v4f d, float tol) {
  const v4f t = 1.0f - d / tol;
  return (v4f)(mask & (v4i)t);
}

inline bool none(v4i mask) { return !(mask[0] | mask[1] | mask[2] | mask[3]); }

inline v4f load4(const float *p) {
  v4f x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

inline v4f key_weight4(const Key &key, const float *yp, const float *up, const float *vp) {
  const v4f y = load4(yp);
  const v4f zero = {0, 0, 0, 0};
  const v4i off = {0, 0, 0, 0};
  v4f dy = zero, du = zero, dv = zero;
  v4i cy = off, cu = off, cv = off;
  if (key.y_on) {
    dy = vabs(y - key.y);
    cy = (v4i)(dy <= key.tol_y);
  }
  if (key.u_on) {
    du = vabs(load4(up) - key.u);
    cu = (v4i)(du <= key.tol_u);
  }
  if (key.v_on) {
    dv = vabs(load4(vp) - key.v);
    cv = (v4i)(dv <= key.tol_v);
  }
  // No candidate among the four: every weight is 0.
  if (none(cy | cu | cv)) return zero;
  v4f sum = zero + term(cy, dy, key.tol_y);
  sum += term(cu, du, key.tol_u);
  sum += term(cv, dv, key.tol_v);
  const v4i count = -(cy + cu + cv);
  const v4i one = {1, 1, 1, 1};
  const v4f m = sum / __builtin_convertvector(count > 0 ? count : one, v4f);
  const v4f ramp = select((v4i)(m == 0.0f), zero, m / key.blend);
  return select((v4i)(m > key.blend), zero + 1.0f, ramp);
}

// Mixes four pixels by their four weights.
inline void mix4(unsigned char *dst, const unsigned char *fg, const unsigned char *bg, v4f k) {
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  const __m128i f = _mm_loadu_si128((const __m128i *)fg), b = _mm_loadu_si128((const __m128i *)bg);
  const __m128i flo = _mm_unpacklo_epi8(f, zero), fhi = _mm_unpackhi_epi8(f, zero);
  const __m128i blo = _mm_unpacklo_epi8(b, zero), bhi = _mm_unpackhi_epi8(b, zero);
  const __m128 fp[4] = {_mm_cvtepi32_ps(_mm_unpacklo_epi16(flo, zero)),
                        _mm_cvtepi32_ps(_mm_unpackhi_epi16(flo, zero)),
                        _mm_cvtepi32_ps(_mm_unpacklo_epi16(fhi, zero)),
                        _mm_cvtepi32_ps(_mm_unpackhi_epi16(fhi, zero))};
  const __m128 bp[4] = {_mm_cvtepi32_ps(_mm_unpacklo_epi16(blo, zero)),
                        _mm_cvtepi32_ps(_mm_unpackhi_epi16(blo, zero)),
                        _mm_cvtepi32_ps(_mm_unpacklo_epi16(bhi, zero)),
                        _mm_cvtepi32_ps(_mm_unpackhi_epi16(bhi, zero))};
  const v4f rest = 1.0f - k;
  __m128i r[4];
  for (int j = 0; j < 4; ++j) {
    const __m128 kj = _mm_set1_ps(k[j]), rj = _mm_set1_ps(rest[j]);
    r[j] = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(bp[j], kj), _mm_mul_ps(fp[j], rj)));
  }
  const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(r[0], r[1]), _mm_packs_epi32(r[2], r[3]));
  _mm_storeu_si128((__m128i *)dst, packed);
#else
  for (int j = 0; j < 4; ++j) mix(dst + 4 * j, fg + 4 * j, bg + 4 * j, k[j]);
#endif
}

}  // namespace

extern "C" {
SEQFX_DATA char name[11] = "Chroma Key";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_FIELD(y, PLUGIN_CODE_SLIDER_FLOAT, "Y:", 0.5, 0, 1, ""),
    SEQFX_FIELD(u, PLUGIN_CODE_SLIDER_FLOAT, "U:", 0.5, 0, 1, ""),
    SEQFX_FIELD(v, PLUGIN_CODE_SLIDER_FLOAT, "V:", 0.5, 0, 1, ""),
    SEQFX_FIELD(tol_y, PLUGIN_CODE_SLIDER_FLOAT, "TolY:", 0.1, 0.0001, 1, "Tolerance(Y)"),
    SEQFX_FIELD(tol_u, PLUGIN_CODE_SLIDER_FLOAT, "TolU:", 0.1, 0.0001, 1, "Tolerance(U)"),
    SEQFX_FIELD(tol_v, PLUGIN_CODE_SLIDER_FLOAT, "TolV:", 0.1, 0.0001, 1, "Tolerance(V)"),
    SEQFX_FIELD(y_on, PLUGIN_CODE_TOGGLE, "Y On", 1, 0, 1, ""),
    SEQFX_FIELD(u_on, PLUGIN_CODE_TOGGLE, "U On", 1, 0, 1, ""),
    SEQFX_FIELD(v_on, PLUGIN_CODE_TOGGLE, "V On", 1, 0, 1, ""),
    SEQFX_FIELD(blend, PLUGIN_CODE_SLIDER_FLOAT, "Blend: ", 0.1, 0, 1, ""),
    SEQFX_FIELD(debug, PLUGIN_CODE_SLIDER_INT, "Debug: ", -1, -1, 2, ""));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  // Keying needs both strips, and two different ones; otherwise nothing
  // happens and nothing is said.
  if (!ibuf1 || !ibuf2 || ibuf1 == ibuf2 || !ibuf1->rect || !ibuf2->rect || height == 0) return;
  if (!out || !out->rect) {
    std::printf("tonecut: no output image!\n");
    return;
  }
  if (width <= 0 || height <= 0) return;
  long n = (long)width * height;
  // Never walk past the end of the smallest image.
  if (pixel_count(ibuf1) < n) n = pixel_count(ibuf1);
  if (pixel_count(ibuf2) < n) n = pixel_count(ibuf2);
  if (pixel_count(out) < n) n = pixel_count(out);

  const unsigned char *fg = ibuf1->rect, *bg = ibuf2->rect;
  unsigned char *dst = out->rect;
  alignas(64) float y[kRun], u[kRun], v[kRun];

  // Debug views: 0, 1 or 2 show the Y, U or V plane with alpha 1. Values
  // outside the table's range (other than -1) key normally.
  if (p->debug >= 0 && p->debug <= 2) {
    for (long i0 = 0; i0 < n; i0 += kRun) {
      const long run = n - i0 < kRun ? n - i0 : kRun;
      tonecut::yuv_planes(fg + 4 * i0, run, y, p->debug == 1 ? u : nullptr, p->debug == 2 ? v : nullptr);
      const float *comp = p->debug == 0 ? y : p->debug == 1 ? u : v;
      unsigned char *d = dst + 4 * i0;
      for (long i = 0; i < run; ++i, d += 4) {
        const unsigned char g = (unsigned char)(int)(comp[i] * 255.0);
        d[0] = d[1] = d[2] = g;
        d[3] = 1;
      }
    }
    return;
  }

  // A channel that is off needs no conversion at all.
  const Key key = {p->y_on != 0, p->u_on != 0, p->v_on != 0, p->y,     p->u,    p->v,
                   p->tol_y,     p->tol_u,     p->tol_v,     p->blend};
  for (long i0 = 0; i0 < n; i0 += kRun) {
    const long run = n - i0 < kRun ? n - i0 : kRun;
    const unsigned char *f = fg + 4 * i0, *b = bg + 4 * i0;
    unsigned char *d = dst + 4 * i0;
    tonecut::yuv_planes(f, run, y, key.u_on ? u : nullptr, key.v_on ? v : nullptr);
    long i = 0;
    for (; i + 4 <= run; i += 4) {
      const v4f k = key_weight4(key, y + i, u + i, v + i);
      // Weights of 0 and 1 give one input's bytes back exactly.
      if (none((v4i)(k != 0.0f))) std::memmove(d + 4 * i, f + 4 * i, 16);
      else if (none((v4i)(k != 1.0f))) std::memmove(d + 4 * i, b + 4 * i, 16);
      else mix4(d + 4 * i, f + 4 * i, b + 4 * i, k);
    }
    for (; i < run; ++i) {
      const float k = key_weight(key, y[i], key.u_on ? u[i] : 0.0f, key.v_on ? v[i] : 0.0f);
      mix(d + 4 * i, f + 4 * i, b + 4 * i, k);
    }
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
