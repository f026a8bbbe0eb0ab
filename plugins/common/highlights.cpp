// Highlight isolation and saturating addition of pixel arrays, the first
// and last passes of the glow-like effects.

#include "highlights.h"

#include "clamps.h"
#include "weighted_sum.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include <emmintrin.h>

// The vector helpers are inlined into one function per instruction set,
// so no vector crosses a call: the ABI note about passing them does not
// apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

using seqfx_common::low_byte;
using seqfx_common::widest_lanes;

// The highlight value of one channel byte c at a positive intensity.
inline unsigned char highlight(int c, int intensity, float boost, float limit) {
  const float v = (float)c * boost * (float)intensity / 255.0f;
  return low_byte(limit >= v ? v : limit);
}

// N pixels per vector, one per lane, each lane doing highlight()'s
// single-precision operations in its order; the selection and the
// conversion become masks: a limit that is not a number wins the
// comparison, and a value no int can hold gives 0. Lanes whose intensity is
// not positive give 0. Returns the pixels left over (fewer than N).
template <int N>
struct Lanes {
  typedef float F __attribute__((vector_size(4 * N)));
  typedef int I __attribute__((vector_size(4 * N)));
  typedef unsigned U __attribute__((vector_size(4 * N)));
};

template <int N>
__attribute__((always_inline)) inline std::size_t isolate_lanes(const unsigned char *&src,
                                                                 unsigned char *&dst,
                                                                 std::size_t count, int threshold,
                                                                 float boost, float limit) {
  typedef typename Lanes<N>::F F;
  typedef typename Lanes<N>::I I;
  typedef typename Lanes<N>::U U;
  const F lim = F{} + limit;
  const I lim_bits = (I)lim;
  for (; count >= N; count -= N, src += 4 * N, dst += 4 * N) {
    U px, old;
    std::memcpy(&px, src, sizeof px);  // read before dst is written: src may be dst
    const I r = (I)(px & 0xFFu), g = (I)((px >> 8) & 0xFFu), b = (I)((px >> 16) & 0xFFu);
    const I in = r + g + b - threshold;
    const I lit = in > 0;
    int any = 0;
    for (int l = 0; l < N; ++l) any |= lit[l];
    std::memcpy(&old, dst, sizeof old);
    U out = old & 0xFF000000u;
    if (any) {
      const F fin = __builtin_convertvector(in, F);
      auto channel = [&](const I &c) __attribute__((always_inline)) {
        const F v = __builtin_convertvector(c, F) * boost * fin / 255.0f;
        const I keep = lim >= v;
        const F h = (F)((keep & (I)v) | (~keep & lim_bits));
        const I held = (h > -2147483648.0f) & (h < 2147483648.0f);
        return (U)(__builtin_convertvector((F)(held & (I)h), I) & 0xFF & lit);
      };
      out |= channel(r) | (channel(g) << 8) | (channel(b) << 16);
    }
    std::memcpy(dst, &out, sizeof out);
  }
  return count;
}

std::size_t isolate_4(const unsigned char *&src, unsigned char *&dst, std::size_t count,
                      int threshold, float boost, float limit) {
  return isolate_lanes<4>(src, dst, count, threshold, boost, limit);
}

__attribute__((target("avx2"))) std::size_t isolate_8(const unsigned char *&src,
                                                       unsigned char *&dst, std::size_t count,
                                                       int threshold, float boost, float limit) {
  return isolate_lanes<8>(src, dst, count, threshold, boost, limit);
}

__attribute__((target("avx512f"))) std::size_t isolate_16(const unsigned char *&src,
                                                           unsigned char *&dst,
                                                           std::size_t count, int threshold,
                                                           float boost, float limit) {
  return isolate_lanes<16>(src, dst, count, threshold, boost, limit);
}

}  // namespace

namespace seqfx_common {

void isolate_highlights(const unsigned char *src, unsigned char *dst, int width, int height,
                        int threshold, float boost, float clamp) {
  if (width <= 0 || height <= 0) return;
  const float limit = clamp * 255.0f;
  std::size_t count = (std::size_t)width * (std::size_t)height;
  // Whole vectors of pixels with the widest lanes this processor has.
  static const int lanes = widest_lanes();
  if (lanes == 16)
    count = isolate_16(src, dst, count, threshold, boost, limit);
  else if (lanes == 8)
    count = isolate_8(src, dst, count, threshold, boost, limit);
  else
    count = isolate_4(src, dst, count, threshold, boost, limit);
  // The last pixels one by one.
  for (std::size_t i = 0; i < count; ++i, src += 4, dst += 4) {
    const int r = src[0], g = src[1], b = src[2];  // read before dst is written
    const int intensity = r + g + b - threshold;
    if (intensity <= 0) {
      dst[0] = dst[1] = dst[2] = 0;
    } else {
      dst[0] = highlight(r, intensity, boost, limit);
      dst[1] = highlight(g, intensity, boost, limit);
      dst[2] = highlight(b, intensity, boost, limit);
    }
  }
}

void add_saturating(const unsigned char *a, const unsigned char *b, unsigned char *dst, int width,
                    int height) {
  if (width <= 0 || height <= 0) return;
  const std::size_t bytes = (std::size_t)width * (std::size_t)height * 4;
  std::size_t i = 0;
  for (; i + 16 <= bytes; i += 16)
    _mm_storeu_si128((__m128i *)(dst + i), _mm_adds_epu8(_mm_loadu_si128((const __m128i *)(a + i)),
                                                         _mm_loadu_si128((const __m128i *)(b + i))));
  for (; i < bytes; ++i) {
    const unsigned s = (unsigned)a[i] + b[i];
    dst[i] = (unsigned char)(s > 255 ? 255 : s);
  }
}

}  // namespace seqfx_common
