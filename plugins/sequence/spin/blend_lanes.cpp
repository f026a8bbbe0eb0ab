// spin: interpolated sampling, four or eight points to a vector of
// doubles, each lane with the operations of one point alone. Only
// processors with AVX2 or AVX-512 take this way (chosen at run time);
// elsewhere nothing is done here and the caller samples point by point.

#include "blend_lanes.h"

#include <cstddef>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace spin {

#if defined(__x86_64__) || defined(__i386__)
namespace {

// The weighted sums of one channel of the four neighbours a (the pixel),
// b (right), d (up) and e (up and right), lane by lane with the double
// operations of the one-point sampling in its order: both ways, or along
// one axis (p and q weighed by g = 1 - f and f). The vector operators give
// plain multiplies and adds, never fused ones. Vectors go by reference:
// these are inlined into callers compiled for their own instruction set.
template <typename V>
__attribute__((always_inline)) inline void both_ways(const V &a, const V &b, const V &d, const V &e,
                                                     const V &fx, const V &fy, const V &gx,
                                                     const V &gy, V &sum) {
  sum = a * gx * gy + b * fx * gy + d * gx * fy + e * fx * fy;
}

template <typename V>
__attribute__((always_inline)) inline void one_way(const V &p, const V &q, const V &g, const V &f,
                                                   V &sum) {
  sum = p * g + q * f;
}

// Byte c of four pixels as doubles.
__attribute__((target("avx2"))) inline __m256d channel(__m128i px, int c) {
  const __m128i b = _mm_and_si128(_mm_srl_epi32(px, _mm_cvtsi32_si128(8 * c)), _mm_set1_epi32(0xFF));
  return _mm256_cvtepi32_pd(b);
}

// Four pixels by index, with plain loads: on many processors the gather
// instruction is slower than four of them.
__attribute__((target("avx2"))) inline __m128i fetch(const unsigned char *src, __m128i at) {
  alignas(16) int k[4];
  _mm_store_si128(reinterpret_cast<__m128i *>(k), at);
  int p[4];
  for (int j = 0; j < 4; ++j) std::memcpy(&p[j], src + 4 * (std::size_t)k[j], 4);
  return _mm_setr_epi32(p[0], p[1], p[2], p[3]);
}

// A mask of four doubles as a mask of four ints.
__attribute__((target("avx2"))) inline __m128i narrow(__m256d m) {
  const __m256i lows = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(m), lows));
}

__attribute__((target("avx2"))) int blend_avx2(const unsigned char *src, int width, int height,
                                               const double *sx, const double *sy, int n,
                                               Outside outside, const unsigned char *colour,
                                               unsigned char *out) {
  const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
  const __m256d w1 = _mm256_set1_pd(width - 1), h1 = _mm256_set1_pd(height - 1);
  const __m256d threshold = _mm256_set1_pd(0.01);
  const __m128i w = _mm_set1_epi32(width);
  int outcol;
  std::memcpy(&outcol, colour, 4);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256d x = _mm256_loadu_pd(sx + i), y = _mm256_loadu_pd(sy + i);
    const __m256d inside =
        _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(x, zero, _CMP_GE_OQ), _mm256_cmp_pd(x, w1, _CMP_LE_OQ)),
                      _mm256_and_pd(_mm256_cmp_pd(y, zero, _CMP_GE_OQ), _mm256_cmp_pd(y, h1, _CMP_LE_OQ)));
    if (outside == Outside::kStop && _mm256_movemask_pd(inside) != 0xF) break;
    // The clamp, with a point that is not a number going to 0; it leaves
    // inside points alone and keeps the reads of colour lanes in bounds.
    x = _mm256_blendv_pd(zero, x, _mm256_cmp_pd(x, zero, _CMP_GE_OQ));
    x = _mm256_blendv_pd(x, w1, _mm256_cmp_pd(x, w1, _CMP_GT_OQ));
    y = _mm256_blendv_pd(zero, y, _mm256_cmp_pd(y, zero, _CMP_GE_OQ));
    y = _mm256_blendv_pd(y, h1, _mm256_cmp_pd(y, h1, _CMP_GT_OQ));
    const __m128i ix = _mm256_cvttpd_epi32(x), iy = _mm256_cvttpd_epi32(y);
    const __m256d fx = _mm256_sub_pd(x, _mm256_cvtepi32_pd(ix));
    const __m256d fy = _mm256_sub_pd(y, _mm256_cvtepi32_pd(iy));
    const __m256d bx = _mm256_cmp_pd(fx, threshold, _CMP_GE_OQ);
    const __m256d by = _mm256_cmp_pd(fy, threshold, _CMP_GE_OQ);
    // The right and upper neighbours are read only where their weight is
    // used; elsewhere the pixel itself stands in, which keeps every read
    // inside the picture.
    const __m128i mx = _mm_and_si128(narrow(bx), _mm_set1_epi32(1));
    const __m128i my = _mm_and_si128(narrow(by), w);
    const __m128i base = _mm_add_epi32(_mm_mullo_epi32(iy, w), ix);
    const __m128i p00 = fetch(src, base);
    const __m128i p10 = fetch(src, _mm_add_epi32(base, mx));
    const __m128i p01 = fetch(src, _mm_add_epi32(base, my));
    const __m128i p11 = fetch(src, _mm_add_epi32(_mm_add_epi32(base, mx), my));
    const __m256d gx = _mm256_sub_pd(one, fx), gy = _mm256_sub_pd(one, fy);
    __m128i rgb = _mm_setzero_si128();
    for (int c = 0; c < 3; ++c) {
      const __m256d a = channel(p00, c), b = channel(p10, c), d = channel(p01, c),
                    e = channel(p11, c);
      // Both fractions: the four corners in this order; one of them: the
      // two pixels along it.
      __m256d both, along_y, along_x;
      both_ways(a, b, d, e, fx, fy, gx, gy, both);
      one_way(a, d, gy, fy, along_y);
      one_way(a, b, gx, fx, along_x);
      const __m256d v = _mm256_blendv_pd(along_y, _mm256_blendv_pd(along_x, both, by), bx);
      rgb = _mm_or_si128(rgb, _mm_sll_epi32(_mm256_cvttpd_epi32(v), _mm_cvtsi32_si128(8 * c)));
    }
    // Neither fraction: the pixel whole, alpha included.
    const __m128i weighed = narrow(_mm256_or_pd(bx, by));
    __m128i px = _mm_blendv_epi8(p00, rgb, weighed);
    if (outside == Outside::kColour) px = _mm_blendv_epi8(_mm_set1_epi32(outcol), px, narrow(inside));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * i), px);
  }
  return i;
}

// Eight points to a vector where the processor has AVX-512: the same
// operations per lane as blend_avx2, the masks kept as mask registers and
// the pixels fetched with gathers.
#define SPIN_AVX512 __attribute__((target("avx512f,avx512vl")))

// Conversions between eight ints and eight doubles, all lanes written (the
// plain forms start from an undefined vector, which the compiler flags).
SPIN_AVX512 inline __m512d to_doubles(__m256i v) { return _mm512_maskz_cvtepi32_pd(0xFF, v); }
SPIN_AVX512 inline __m256i to_ints(__m512d v) { return _mm512_maskz_cvttpd_epi32(0xFF, v); }

// Byte c of eight pixels as doubles.
SPIN_AVX512 inline __m512d channel8(__m256i px, int c) {
  const char z = -128;  // a shuffle index that gives 0
  const __m256i pick = _mm256_setr_epi8((char)c, z, z, z, (char)(c + 4), z, z, z, (char)(c + 8), z, z, z,
                                        (char)(c + 12), z, z, z, (char)c, z, z, z, (char)(c + 4), z, z, z,
                                        (char)(c + 8), z, z, z, (char)(c + 12), z, z, z);
  return to_doubles(_mm256_shuffle_epi8(px, pick));
}

SPIN_AVX512 inline __m256i fetch8(const unsigned char *src, __m256i at) {
  return _mm256_i32gather_epi32(reinterpret_cast<const int *>(src), at, 4);
}

SPIN_AVX512 int blend_avx512(const unsigned char *src, int width, int height, const double *sx,
                             const double *sy, int n, Outside outside,
                             const unsigned char *colour, unsigned char *out) {
  const __m512d zero = _mm512_setzero_pd(), one = _mm512_set1_pd(1.0);
  const __m512d w1 = _mm512_set1_pd(width - 1), h1 = _mm512_set1_pd(height - 1);
  const __m512d threshold = _mm512_set1_pd(0.01);
  const __m256i w = _mm256_set1_epi32(width);
  int outcol;
  std::memcpy(&outcol, colour, 4);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    __m512d x = _mm512_loadu_pd(sx + i), y = _mm512_loadu_pd(sy + i);
    const __mmask8 x_low = _mm512_cmp_pd_mask(x, zero, _CMP_GE_OQ);
    const __mmask8 y_low = _mm512_cmp_pd_mask(y, zero, _CMP_GE_OQ);
    const __mmask8 inside = x_low & y_low & _mm512_cmp_pd_mask(x, w1, _CMP_LE_OQ) &
                            _mm512_cmp_pd_mask(y, h1, _CMP_LE_OQ);
    if (outside == Outside::kStop && inside != 0xFF) break;
    // The clamp, with a point that is not a number going to 0.
    x = _mm512_maskz_mov_pd(x_low, x);
    x = _mm512_mask_mov_pd(x, _mm512_cmp_pd_mask(x, w1, _CMP_GT_OQ), w1);
    y = _mm512_maskz_mov_pd(y_low, y);
    y = _mm512_mask_mov_pd(y, _mm512_cmp_pd_mask(y, h1, _CMP_GT_OQ), h1);
    const __m256i ix = to_ints(x), iy = to_ints(y);
    const __m512d fx = _mm512_sub_pd(x, to_doubles(ix));
    const __m512d fy = _mm512_sub_pd(y, to_doubles(iy));
    const __mmask8 bx = _mm512_cmp_pd_mask(fx, threshold, _CMP_GE_OQ);
    const __mmask8 by = _mm512_cmp_pd_mask(fy, threshold, _CMP_GE_OQ);
    // Neighbours whose weight is unused are read as the pixel itself.
    const __m256i mx = _mm256_maskz_mov_epi32(bx, _mm256_set1_epi32(1));
    const __m256i my = _mm256_maskz_mov_epi32(by, w);
    const __m256i base = _mm256_add_epi32(_mm256_mullo_epi32(iy, w), ix);
    const __m256i p00 = fetch8(src, base);
    const __m256i p10 = fetch8(src, _mm256_add_epi32(base, mx));
    const __m256i p01 = fetch8(src, _mm256_add_epi32(base, my));
    const __m256i p11 = fetch8(src, _mm256_add_epi32(_mm256_add_epi32(base, mx), my));
    const __m512d gx = _mm512_sub_pd(one, fx), gy = _mm512_sub_pd(one, fy);
    const __mmask8 both = bx & by;
    __m256i rgb = _mm256_setzero_si256();
    for (int c = 0; c < 3; ++c) {
      const __m512d a = channel8(p00, c), b = channel8(p10, c), d = channel8(p01, c),
                    e = channel8(p11, c);
      __m512d v;
      both_ways(a, b, d, e, fx, fy, gx, gy, v);
      // Most blocks weigh both ways in every lane; the others pick per lane.
      if (both != 0xFF) {
        __m512d along_y, along_x;
        one_way(a, d, gy, fy, along_y);
        one_way(a, b, gx, fx, along_x);
        v = _mm512_mask_mov_pd(along_y, bx, _mm512_mask_mov_pd(along_x, by, v));
      }
      rgb = _mm256_or_si256(rgb, _mm256_slli_epi32(to_ints(v), 8 * c));
    }
    __m256i px = _mm256_mask_mov_epi32(p00, bx | by, rgb);
    if (outside == Outside::kColour)
      px = _mm256_mask_mov_epi32(_mm256_set1_epi32(outcol), inside, px);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 4 * i), px);
  }
  return i;
}
#undef SPIN_AVX512

}  // namespace
#endif

int blend_points(const unsigned char *src, int width, int height, const double *sx,
                 const double *sy, int n, Outside outside, const unsigned char *colour,
                 unsigned char *out) {
  int done = 0;
#if defined(__x86_64__) || defined(__i386__)
  // Eight at a time where the processor allows, then four at a time from
  // where that stopped: the rest, or the block of eight with a point
  // outside, whose four-point blocks without one are still done here.
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
    done = blend_avx512(src, width, height, sx, sy, n, outside, colour, out);
  if (__builtin_cpu_supports("avx2"))
    done += blend_avx2(src, width, height, sx + done, sy + done, n - done, outside, colour,
                       out + 4 * done);
#else
  (void)src, (void)width, (void)height, (void)sx, (void)sy, (void)n, (void)outside,
      (void)colour, (void)out;
#endif
  return done;
}

}  // namespace spin
