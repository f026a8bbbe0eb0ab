#include "yuv_planes.h"

#include "clamps.h"
#include "lane_vectors.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tonecut {

YuvTables::YuvTables() {
  for (int b = 0; b < 256; ++b) {
    unit[b] = seqfx_common::byte_unit(b);
    wr[b] = 0.299 * unit[b];
    wg[b] = 0.587 * unit[b];
    wb[b] = 0.114 * unit[b];
  }
}

const YuvTables &yuv_tables() {
  static const YuvTables t;
  return t;
}

namespace {

void plain_planes(const unsigned char *px, long n, float *y, float *u, float *v) {
  const YuvTables &t = yuv_tables();
  for (long i = 0; i < n; ++i, px += 4) {
    const float l = t.luma(px);
    y[i] = l;
    if (u) u[i] = chroma_u(t.unit[px[2]], l);
    if (v) v[i] = chroma_v(t.unit[px[0]], l);
  }
}

// N pixels in lanes (four for the base instruction set, eight for AVX2),
// computed rather than looked up, with operations
// that give the plain path's floats for every one of the 2^24 colours:
//  - byte * (1 / 255.0) rounds to the same float as byte / 255.0;
//  - x * kScaleU + 0.5 and x * kScaleV + 0.5, one product each, round to
//    the same floats as the three products and division of the definition,
//    for every difference B - Y and R - Y a byte triple can produce
//    (checked by the tests over all colours).
// The body has no target of its own: each caller below compiles it for its
// instruction set, so the vectors become SSE2 or AVX2 registers with the
// same operations lane for lane.
using seqfx_common::Lanes;

constexpr double kScaleU = 0.492 * 255 * (1 / 244.0), kScaleV = 0.877 * 255 * (1 / 314.0);

template <int N>
__attribute__((always_inline)) inline void lanes(const unsigned char *px, float *y, float *u, float *v) {
  typedef typename Lanes<N>::I I;
  typedef typename Lanes<N>::F F;
  typedef typename Lanes<N>::D D;
  typename Lanes<N>::U w;
  std::memcpy(&w, px, sizeof w);
  const I r = (I)(w & 0xffu), g = (I)((w >> 8) & 0xffu), b = (I)((w >> 16) & 0xffu);
  const F ru = __builtin_convertvector(__builtin_convertvector(r, D) * (1 / 255.0), F);
  const F gu = __builtin_convertvector(__builtin_convertvector(g, D) * (1 / 255.0), F);
  const F bu = __builtin_convertvector(__builtin_convertvector(b, D) * (1 / 255.0), F);
  const D luma = 0.299 * __builtin_convertvector(ru, D) + 0.587 * __builtin_convertvector(gu, D) +
                 0.114 * __builtin_convertvector(bu, D);
  const F l = __builtin_convertvector(luma, F);
  std::memcpy(y, &l, sizeof l);
  if (u) {
    const D by = __builtin_convertvector(bu - l, D);
    const F c = __builtin_convertvector(by * kScaleU + 0.5, F);
    std::memcpy(u, &c, sizeof c);
  }
  if (v) {
    const D ry = __builtin_convertvector(ru - l, D);
    const F c = __builtin_convertvector(ry * kScaleV + 0.5, F);
    std::memcpy(v, &c, sizeof c);
  }
}

// Whole groups of N; the caller finishes the rest one pixel at a time.
#define TONECUT_LANES_LOOP(N)                                                         \
  long i = 0;                                                                         \
  for (; i + N <= n; i += N)                                                          \
    lanes<N>(px + 4 * i, y + i, u ? u + i : nullptr, v ? v + i : nullptr);           \
  return i;

#ifdef __SSE2__
// The same operations written out for SSE2, four pixels at a time: each
// half of a float register widens to two doubles and narrows back.
inline __m128d low_half(__m128 x) { return _mm_cvtps_pd(x); }
inline __m128d high_half(__m128 x) { return _mm_cvtps_pd(_mm_movehl_ps(x, x)); }
inline __m128 join(__m128d lo, __m128d hi) { return _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)); }

inline __m128 unit4(__m128i bytes) {
  const __m128d inv255 = _mm_set1_pd(1 / 255.0);
  return join(_mm_mul_pd(_mm_cvtepi32_pd(bytes), inv255),
              _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(bytes, 0xEE)), inv255));
}

inline __m128d luma2(__m128d r, __m128d g, __m128d b) {
  return _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_set1_pd(0.299), r), _mm_mul_pd(_mm_set1_pd(0.587), g)),
                    _mm_mul_pd(_mm_set1_pd(0.114), b));
}

inline __m128d scale2(__m128d diff, double scale) {
  return _mm_add_pd(_mm_mul_pd(diff, _mm_set1_pd(scale)), _mm_set1_pd(0.5));
}

inline __m128 chroma4(__m128 diff, double scale) {
  return join(scale2(low_half(diff), scale), scale2(high_half(diff), scale));
}

long lanes_planes(const unsigned char *px, long n, float *y, float *u, float *v) {
  const __m128i low = _mm_set1_epi32(0xff);
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i *>(px + 4 * i));
    const __m128 ru = unit4(_mm_and_si128(w, low)), gu = unit4(_mm_and_si128(_mm_srli_epi32(w, 8), low)),
                 bu = unit4(_mm_and_si128(_mm_srli_epi32(w, 16), low));
    const __m128 l = join(luma2(low_half(ru), low_half(gu), low_half(bu)),
                          luma2(high_half(ru), high_half(gu), high_half(bu)));
    _mm_storeu_ps(y + i, l);
    if (u) _mm_storeu_ps(u + i, chroma4(_mm_sub_ps(bu, l), kScaleU));
    if (v) _mm_storeu_ps(v + i, chroma4(_mm_sub_ps(ru, l), kScaleV));
  }
  return i;
}
#else
long lanes_planes(const unsigned char *px, long n, float *y, float *u, float *v) { TONECUT_LANES_LOOP(4) }
#endif

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) long avx2_planes(const unsigned char *px, long n, float *y, float *u,
                                                 float *v) {
  TONECUT_LANES_LOOP(8)
}
// The same operations written out for AVX-512, where eight floats widen
// to eight doubles (and back) in one instruction each. The conversions to
// and from ints and floats are the zero-masked forms with every lane set,
// whose unmasked forms start from a register the compiler cannot prove set.
#define TONECUT_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw"), always_inline)) inline
TONECUT_AVX512 __m512d cvt_pd(__m256i x) { return _mm512_maskz_cvtepi32_pd(0xff, x); }
TONECUT_AVX512 __m256 cvt_ps(__m512d x) { return _mm512_maskz_cvtpd_ps(0xff, x); }
TONECUT_AVX512 __m512d widen(__m256 x) { return _mm512_maskz_cvtps_pd(0xff, x); }
#undef TONECUT_AVX512

__attribute__((target("avx512f,avx512dq,avx512vl,avx512bw"))) long avx512_planes(const unsigned char *px, long n,
                                                                                   float *y, float *u, float *v) {
  const __m256i low = _mm256_set1_epi32(0xff);
  const __m512d inv255 = _mm512_set1_pd(1 / 255.0), half = _mm512_set1_pd(0.5);
  const __m512d wr = _mm512_set1_pd(0.299), wg = _mm512_set1_pd(0.587), wb = _mm512_set1_pd(0.114);
  const __m512d su = _mm512_set1_pd(kScaleU), sv = _mm512_set1_pd(kScaleV);
  long i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(px + 4 * i));
    const __m256i r = _mm256_and_si256(w, low), g = _mm256_and_si256(_mm256_srli_epi32(w, 8), low),
                  b = _mm256_and_si256(_mm256_srli_epi32(w, 16), low);
    const __m256 ru = cvt_ps(_mm512_mul_pd(cvt_pd(r), inv255));
    const __m256 gu = cvt_ps(_mm512_mul_pd(cvt_pd(g), inv255));
    const __m256 bu = cvt_ps(_mm512_mul_pd(cvt_pd(b), inv255));
    const __m512d luma = _mm512_add_pd(
        _mm512_add_pd(_mm512_mul_pd(wr, widen(ru)), _mm512_mul_pd(wg, widen(gu))),
        _mm512_mul_pd(wb, widen(bu)));
    const __m256 l = cvt_ps(luma);
    _mm256_storeu_ps(y + i, l);
    if (u) {
      const __m512d by = widen(_mm256_sub_ps(bu, l));
      const __m512d c = _mm512_mul_pd(by, su);
      _mm256_storeu_ps(u + i, cvt_ps(_mm512_add_pd(c, half)));
    }
    if (v) {
      const __m512d ry = widen(_mm256_sub_ps(ru, l));
      const __m512d c = _mm512_mul_pd(ry, sv);
      _mm256_storeu_ps(v + i, cvt_ps(_mm512_add_pd(c, half)));
    }
  }
  return i;
}
#endif
#undef TONECUT_LANES_LOOP

}  // namespace

void yuv_planes(LanePath path, const unsigned char *px, long n, float *y, float *u, float *v) {
  long done = 0;
  switch (path) {
    case LanePath::lanes:
      done = lanes_planes(px, n, y, u, v);
      break;
#if defined(__x86_64__) || defined(__i386__)
    case LanePath::avx2:
      done = avx2_planes(px, n, y, u, v);
      break;
    case LanePath::avx512:
      done = avx512_planes(px, n, y, u, v);
      break;
#endif
    default:
      break;
  }
  plain_planes(px + 4 * done, n - done, y + done, u ? u + done : nullptr, v ? v + done : nullptr);
}

void yuv_planes(const unsigned char *px, long n, float *y, float *u, float *v) {
  yuv_planes(best_lane_path(), px, n, y, u, v);
}

}  // namespace tonecut
