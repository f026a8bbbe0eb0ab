#include "yuv_planes.h"

#include "clamps.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
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

// Eight pixels in lanes, computed rather than looked up, with operations
// that give the plain path's floats for every one of the 2^24 colours:
//  - byte * (1 / 255.0) rounds to the same float as byte / 255.0;
//  - x * 0.492 * 255 * (1 / 244.0) + 0.5 and x * 0.877 * 255 * (1 / 314.0)
//    + 0.5 round to the same floats as the divisions, for every difference
//    B - Y and R - Y a byte triple can produce (checked by the tests over
//    all colours).
// The body has no target of its own: each caller below compiles it for its
// instruction set, so the double vectors become SSE2, AVX2 or AVX-512
// registers with the same operations lane for lane.
typedef unsigned v8u __attribute__((vector_size(32)));
typedef int v8i __attribute__((vector_size(32)));
typedef float v8f __attribute__((vector_size(32)));
typedef double v8d __attribute__((vector_size(64)));

__attribute__((always_inline)) inline void lanes8(const unsigned char *px, float *y, float *u, float *v) {
  v8u w;
  std::memcpy(&w, px, sizeof w);
  const v8i r = (v8i)(w & 0xffu), g = (v8i)((w >> 8) & 0xffu), b = (v8i)((w >> 16) & 0xffu);
  const v8f ru = __builtin_convertvector(__builtin_convertvector(r, v8d) * (1 / 255.0), v8f);
  const v8f gu = __builtin_convertvector(__builtin_convertvector(g, v8d) * (1 / 255.0), v8f);
  const v8f bu = __builtin_convertvector(__builtin_convertvector(b, v8d) * (1 / 255.0), v8f);
  const v8d luma = 0.299 * __builtin_convertvector(ru, v8d) + 0.587 * __builtin_convertvector(gu, v8d) +
                   0.114 * __builtin_convertvector(bu, v8d);
  const v8f l = __builtin_convertvector(luma, v8f);
  std::memcpy(y, &l, sizeof l);
  if (u) {
    const v8d by = __builtin_convertvector(bu - l, v8d);
    const v8f c = __builtin_convertvector(by * 0.492 * 255 * (1 / 244.0) + 0.5, v8f);
    std::memcpy(u, &c, sizeof c);
  }
  if (v) {
    const v8d ry = __builtin_convertvector(ru - l, v8d);
    const v8f c = __builtin_convertvector(ry * 0.877 * 255 * (1 / 314.0) + 0.5, v8f);
    std::memcpy(v, &c, sizeof c);
  }
}

// Whole groups of eight; the caller finishes the rest one pixel at a time.
#define TONECUT_LANES_LOOP                                                            \
  long i = 0;                                                                         \
  for (; i + 8 <= n; i += 8)                                                          \
    lanes8(px + 4 * i, y + i, u ? u + i : nullptr, v ? v + i : nullptr);            \
  return i;

long lanes_planes(const unsigned char *px, long n, float *y, float *u, float *v) { TONECUT_LANES_LOOP }

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) long avx2_planes(const unsigned char *px, long n, float *y, float *u,
                                                 float *v) {
  TONECUT_LANES_LOOP
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
  const __m512d inv255 = _mm512_set1_pd(1 / 255.0), half = _mm512_set1_pd(0.5), full = _mm512_set1_pd(255);
  const __m512d wr = _mm512_set1_pd(0.299), wg = _mm512_set1_pd(0.587), wb = _mm512_set1_pd(0.114);
  const __m512d su = _mm512_set1_pd(0.492), sv = _mm512_set1_pd(0.877);
  const __m512d ru244 = _mm512_set1_pd(1 / 244.0), rv314 = _mm512_set1_pd(1 / 314.0);
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
      const __m512d c = _mm512_mul_pd(_mm512_mul_pd(_mm512_mul_pd(by, su), full), ru244);
      _mm256_storeu_ps(u + i, cvt_ps(_mm512_add_pd(c, half)));
    }
    if (v) {
      const __m512d ry = widen(_mm256_sub_ps(ru, l));
      const __m512d c = _mm512_mul_pd(_mm512_mul_pd(_mm512_mul_pd(ry, sv), full), rv314);
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
