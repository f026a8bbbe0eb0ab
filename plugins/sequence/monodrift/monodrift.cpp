// monodrift: fades one strip towards a weighted grey, optionally following
// the host's effect curve, and passes the strip's depth plane on to the
// output image.

#include "fetch_lines.h"
#include "lane_vectors.h"
#include "seqfx_module.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using seqfx_module::pixels_to_walk;
using seqfx_module::unit;

// One 4-byte slot per table row.
struct Params {
  int label_mixing;
  float red, green, blue;  // grey weights, not normalised
  int animated;            // fade by factor0 instead of fully
};

// A weight that is not a number counts as 0, so that no pixel value
// becomes undefined; any other value is used as it stands.
float weight(float v) { return v == v ? v : 0.0f; }

// Weights of either sign and any size give a defined byte: beyond 255 it
// is 255, below 0 (or not a number) it is 0; in between, rounded half up.
inline unsigned char to_byte(float v) {
  v = v > 0.0f ? v : 0.0f;
  v = v < 255.0f ? v : 255.0f;
  return (unsigned char)(int)(v + 0.5f);
}

// Pixels in groups of N, one lane each: every lane does the one-pixel
// path's single-precision operations in the same order (never fused
// multiply-adds), so every byte equals the one it would give. Four lanes
// everywhere; eight or sixteen where the processor has AVX2 or AVX-512,
// chosen at run time.
using seqfx_common::Lanes;

// to_byte for a vector, placed at bit `shift` of each lane of `bytes`: a
// value that is not a number fails v > 0 and becomes 0, as it does one
// pixel at a time. (Results go through a reference so that no vector wider
// than the base target is passed or returned by value.)
template <int N>
__attribute__((always_inline)) inline void put_byte(typename Lanes<N>::U &bytes,
                                                    const typename Lanes<N>::F &value, int shift) {
  typedef typename Lanes<N>::F F;
  typedef typename Lanes<N>::I I;
  typedef typename Lanes<N>::U U;
  const F zero = {}, top = zero + 255.0f;
  F v = value;
  I m = v > zero;
  v = (F)((m & (I)v) | (~m & (I)zero));
  m = v < top;
  v = (F)((m & (I)v) | (~m & (I)top));
  bytes |= (U)__builtin_convertvector(v + 0.5f, I) << shift;
}

// Does whole groups of N pixels and returns how many pixels that was.
template <int N>
__attribute__((always_inline)) inline long grey_lanes(const unsigned char *src, unsigned char *dst,
                                                      long n, float wr, float wg, float wb, float f,
                                                      float rest) {
  typedef typename Lanes<N>::F F;
  typedef typename Lanes<N>::I I;
  typedef typename Lanes<N>::U U;
  long k = 0;
  for (; k + N <= n; k += N, src += 4 * N, dst += 4 * N) {
    if (4 * (k + N) + seqfx_common::kFetchAheadBytes <= 4 * n)
      seqfx_common::fetch_lines(src + seqfx_common::kFetchAheadBytes, 4 * N);
    U px;
    std::memcpy(&px, src, sizeof px);
    const F r = __builtin_convertvector((I)(px & 0xFFu), F);
    const F g = __builtin_convertvector((I)(px >> 8 & 0xFFu), F);
    const F b = __builtin_convertvector((I)(px >> 16 & 0xFFu), F);
    const F fl = f * (wr * r + wg * g + wb * b);
    U grey = px & 0xFF000000u;  // alpha as it was
    put_byte<N>(grey, r * rest + fl, 0);
    put_byte<N>(grey, g * rest + fl, 8);
    put_byte<N>(grey, b * rest + fl, 16);
    std::memcpy(dst, &grey, sizeof grey);
  }
  return k;
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"), flatten)) long grey_avx2(const unsigned char *src, unsigned char *dst,
                                                        long n, float wr, float wg, float wb, float f,
                                                        float rest) {
  return grey_lanes<8>(src, dst, n, wr, wg, wb, f, rest);
}

__attribute__((target("avx512f,avx512bw"), flatten)) long grey_avx512(const unsigned char *src,
                                                                      unsigned char *dst, long n,
                                                                      float wr, float wg, float wb,
                                                                      float f, float rest) {
  return grey_lanes<16>(src, dst, n, wr, wg, wb, f, rest);
}
#endif

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "monoDrift";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("MIXING VALUES"),
    SEQFX_FIELD(red, PLUGIN_CODE_SLIDER_FLOAT, "red ", 0.3f, 0, 1, "redValue"),
    SEQFX_FIELD(green, PLUGIN_CODE_SLIDER_FLOAT, "green ", 0.59f, 0, 1, "greenValue"),
    SEQFX_FIELD(blue, PLUGIN_CODE_SLIDER_FLOAT, "blue ", 0.11f, 0, 1, "blueValue"),
    SEQFX_FIELD(animated, PLUGIN_CODE_TOGGLE, "Animated", 0, 0, 1, "For (Ipo) animated"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !out) return;
  const Params *p = static_cast<const Params *>(params);
  const float f = p->animated ? unit(factor0) : 1.0f;

  if (!ibuf1->zbuf) {
    std::printf("no zbuf\n");
    return;
  }

  // Counts come from ibuf1; out has the same size, but never write past it
  // should a host hand over a smaller one.
  const long n = pixels_to_walk(ibuf1, out);

  // The depth plane handed to out belongs to out from now on; a failed
  // allocation only skips the depth copy.
  if (!out->zbuf && n > 0) out->zbuf = static_cast<int *>(std::malloc((size_t)n * sizeof(int)));
  if (out->zbuf && out->zbuf != ibuf1->zbuf && n > 0)
    std::memmove(out->zbuf, ibuf1->zbuf, (size_t)n * sizeof(int));

  if (!ibuf1->rect || !out->rect) return;

  // Single precision throughout:
  //   L = wr R + wg G + wb B,  v = c (1 - f) + f L,
  // limited to 0..255 and rounded half up.
  const float wr = weight(p->red), wg = weight(p->green), wb = weight(p->blue);
  const float rest = 1.0f - f;

  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;
  long k = 0;
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx512bw")) k = grey_avx512(src, dst, n, wr, wg, wb, f, rest);
  else if (__builtin_cpu_supports("avx2")) k = grey_avx2(src, dst, n, wr, wg, wb, f, rest);
#endif
  k += grey_lanes<4>(src + 4 * k, dst + 4 * k, n - k, wr, wg, wb, f, rest);
  src += 4 * k;
  dst += 4 * k;
  for (; k < n; ++k, src += 4, dst += 4) {
    const float fl = f * (wr * (float)src[0] + wg * (float)src[1] + wb * (float)src[2]);
    const unsigned char r = to_byte((float)src[0] * rest + fl);
    const unsigned char g = to_byte((float)src[1] * rest + fl);
    const unsigned char b = to_byte((float)src[2] * rest + fl);
    dst[3] = src[3];
    dst[0] = r;
    dst[1] = g;
    dst[2] = b;
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
