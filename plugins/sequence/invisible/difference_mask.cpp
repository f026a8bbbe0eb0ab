// The difference mask 4, 8 or 16 pixels at a time: the absolute byte
// differences (the larger byte less the smaller), summed per pixel over the
// three colour bytes (0..765, exact as floats), compared as floats with the
// tolerance, ordered, so that a tolerance that is not a number marks
// nothing, as the one-pixel form does.

#include "difference_mask.h"

#include "lane_vectors.h"
#include "lanes.h"

#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace invisible {

namespace {

inline unsigned char differs(const unsigned char *pa, const unsigned char *pb, float tolerance) {
  int d = 0;
  for (int k = 0; k < 3; ++k) d += pa[k] > pb[k] ? pa[k] - pb[k] : pb[k] - pa[k];
  return (float)d > tolerance;
}

// L pixels, one 32-bit lane each, and their bytes. The body has no target
// of its own: each caller below compiles it for its instruction set.
template <int L>
struct Pixels : seqfx_common::Lanes<L> {
  typedef unsigned char B __attribute__((vector_size(4 * L)));
};

// 1 in each lane whose pixel differs by more than the tolerance, else 0.
// Results go through a reference, so that no vector wider than the base
// target is passed or returned by value.
template <int L>
__attribute__((always_inline)) inline void over_tolerance(const unsigned char *a, const unsigned char *b,
                                                          float tolerance, typename Pixels<L>::I &bits) {
  typedef Pixels<L> P;
  typename P::B va, vb;
  std::memcpy(&va, a, sizeof va);
  std::memcpy(&vb, b, sizeof vb);
  const typename P::B hi = va > vb ? va : vb, lo = va > vb ? vb : va;
  const typename P::U d = (typename P::U)(hi - lo);
  const typename P::U sum = (d & 0xFFu) + ((d >> 8) & 0xFFu) + ((d >> 16) & 0xFFu);
  bits = (__builtin_convertvector((typename P::I)sum, typename P::F) > tolerance) & 1;
}

// Each width packs the lanes' low bytes in order as its instruction set
// does it best.
#if defined(__SSE2__)

long mask_4(const unsigned char *a, const unsigned char *b, unsigned char *mask, long n,
            float tolerance) {
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    Pixels<4>::I over;
    over_tolerance<4>(a + 4 * i, b + 4 * i, tolerance, over);
    const __m128i bit = (__m128i)over;
    const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(bit, bit), bit));
    std::memcpy(mask + i, &bytes, 4);
  }
  return i;
}

__attribute__((target("avx2"))) long mask_8(const unsigned char *a, const unsigned char *b,
                                            unsigned char *mask, long n, float tolerance) {
  long i = 0;
  for (; i + 8 <= n; i += 8) {
    Pixels<8>::I over;
    over_tolerance<8>(a + 4 * i, b + 4 * i, tolerance, over);
    const __m256i bit = (__m256i)over;
    // Packing works within 128-bit halves: pixels 0..3 come out at the
    // start of the low half, 4..7 at the start of the high one.
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(bit, bit), bit);
    const __m128i both = _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(mask + i), both);
  }
  return i;
}

// The compiler's 512-bit conversion intrinsics start from an undefined
// register that this compiler then reports as maybe used uninitialised;
// every lane is written.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512bw"))) long mask_16(const unsigned char *a, const unsigned char *b,
                                                 unsigned char *mask, long n, float tolerance) {
  long i = 0;
  for (; i + 16 <= n; i += 16) {
    Pixels<16>::I over;
    over_tolerance<16>(a + 4 * i, b + 4 * i, tolerance, over);
    const __m512i bit = (__m512i)over;
    _mm_storeu_si128(reinterpret_cast<__m128i *>(mask + i), _mm512_cvtepi32_epi8(bit));
  }
  return i;
}
#pragma GCC diagnostic pop

#endif

}  // namespace

void difference_mask(const unsigned char *a, const unsigned char *b, unsigned char *mask, long n,
                     float tolerance) {
  long i = 0;
#if defined(__SSE2__)
  const int n_lanes = lanes();
  if (n_lanes == 16)
    i = mask_16(a, b, mask, n, tolerance);
  else if (n_lanes == 8)
    i = mask_8(a, b, mask, n, tolerance);
  i += mask_4(a + 4 * i, b + 4 * i, mask + i, n - i, tolerance);
#endif
  for (; i < n; ++i) mask[i] = differs(a + 4 * i, b + 4 * i, tolerance);
}

}  // namespace invisible
