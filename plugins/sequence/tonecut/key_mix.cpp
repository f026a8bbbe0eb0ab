#include "key_mix.h"

#include "clamps.h"
#include "lane_vectors.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tonecut {
namespace {

// Each byte: background k + foreground (1 - k), single precision, truncated.
// A weight that is not a number (a tolerance of 0 meeting a distance of 0,
// or a blend that is not a number) stores 0, as the lanes do.
void mix(unsigned char *dst, const unsigned char *fg, const unsigned char *bg, float k) {
  const float rest = 1.0f - k;
  for (int c = 0; c < 4; ++c) dst[c] = seqfx_common::low_byte((float)bg[c] * k + (float)fg[c] * rest);
}

// N pixels in lanes (four for the base instruction set, eight for AVX2),
// with the one-pixel operations in the same order. Absent terms add +0,
// which leaves the sum unchanged, and a count of 0 divides 0 by 1, so no
// lane needs a branch. As with the planes, the body has no target of its
// own and each caller compiles it for its instruction set.
using seqfx_common::Lanes;

// The helpers take and give vectors by reference only: each is inlined
// into a caller compiled for its own instruction set, and no vector ever
// crosses a call.
template <int N>
__attribute__((always_inline)) inline bool none(const typename Lanes<N>::I &mask) {
  unsigned long long w[N / 2];
  std::memcpy(w, &mask, sizeof w);
  unsigned long long any = 0;
  for (int j = 0; j < N / 2; ++j) any |= w[j];
  return !any;
}

// |x - key| for N values read from p, and whether each lies within the
// tolerance.
template <int N>
__attribute__((always_inline)) inline void distance(const float *p, float key, float tol, typename Lanes<N>::F &d,
                                                    typename Lanes<N>::I &within) {
  typename Lanes<N>::F x;
  std::memcpy(&x, p, sizeof x);
  d = (typename Lanes<N>::F)((typename Lanes<N>::I)(x - key) & 0x7fffffff);
  within = d <= tol;
}

// Adds the closeness term where the lane's mask is set, +0 elsewhere.
template <int N>
__attribute__((always_inline)) inline void add_term(typename Lanes<N>::F &sum, const typename Lanes<N>::I &mask,
                                                    const typename Lanes<N>::F &d, float tol) {
  sum += (typename Lanes<N>::F)(mask & (typename Lanes<N>::I)(1.0f - d / tol));
}

// Mixes N pixels by their weights, a byte plane at a time. A weight that
// is not a number stores 0; every other result lies in 0..255 and
// truncates to its byte.
template <int N>
__attribute__((always_inline)) inline void mix_lanes(const typename Lanes<N>::F &k, const unsigned char *fg,
                                                     const unsigned char *bg, unsigned char *dst) {
  typedef typename Lanes<N>::F F;
  typedef typename Lanes<N>::I I;
  typedef typename Lanes<N>::U U;
  U f, b;
  std::memcpy(&f, fg, sizeof f);
  std::memcpy(&b, bg, sizeof b);
  const F rest = 1.0f - k;
  const I number = k == k;
  U out = {};
  for (int c = 0; c < 4; ++c) {
    const F fc = __builtin_convertvector((I)((f >> (8 * c)) & 0xffu), F);
    const F bc = __builtin_convertvector((I)((b >> (8 * c)) & 0xffu), F);
    const F mixed = (F)((I)(bc * k + fc * rest) & number);
    out |= (U)__builtin_convertvector(mixed, I) << (8 * c);
  }
  std::memcpy(dst, &out, sizeof out);
}

template <int N>
__attribute__((always_inline)) inline void key_lanes(const Key &key, const float *yp, const float *up,
                                                     const float *vp, const unsigned char *fg,
                                                     const unsigned char *bg, unsigned char *dst) {
  typedef typename Lanes<N>::F F;
  typedef typename Lanes<N>::I I;
  const F zero = {};
  F dy = zero, du = zero, dv = zero;
  I cy = {}, cu = {}, cv = {};
  if (key.y_on) distance<N>(yp, key.y, key.tol_y, dy, cy);
  if (key.u_on) distance<N>(up, key.u, key.tol_u, du, cu);
  if (key.v_on) distance<N>(vp, key.v, key.tol_v, dv, cv);
  const I candidate = cy | cu | cv;
  // No candidate among the lanes: the foreground as it is.
  if (none<N>(candidate)) {
    std::memmove(dst, fg, 4 * N);
    return;
  }
  F sum = zero;
  add_term<N>(sum, cy, dy, key.tol_y);
  add_term<N>(sum, cu, du, key.tol_u);
  add_term<N>(sum, cv, dv, key.tol_v);
  const I count = -(cy + cu + cv);
  const F m = sum / __builtin_convertvector(count > 0 ? count : 1, F);
  const F ramp = m == 0.0f ? zero : m / key.blend;
  F k = m > key.blend ? zero + 1.0f : ramp;
  // A pixel that is no candidate keeps its foreground (weight 0), whatever
  // its neighbours are and whatever Blend holds.
  k = (F)(candidate & (I)k);
  // Weights of 0 and 1 give one input's bytes back exactly.
  if (none<N>((I)(k != 0.0f))) {
    std::memmove(dst, fg, 4 * N);
    return;
  }
  if (none<N>((I)(k != 1.0f))) {
    std::memmove(dst, bg, 4 * N);
    return;
  }
  mix_lanes<N>(k, fg, bg, dst);
}

#define TONECUT_KEY_LOOP(N)                                                               \
  long i = 0;                                                                             \
  for (; i + N <= n; i += N)                                                              \
    key_lanes<N>(key, y + i, u + i, v + i, fg + 4 * i, bg + 4 * i, dst + 4 * i);          \
  return i;

long lanes_run(const Key &key, const float *y, const float *u, const float *v, const unsigned char *fg,
               const unsigned char *bg, unsigned char *dst, long n) {
  TONECUT_KEY_LOOP(4)
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) long avx2_run(const Key &key, const float *y, const float *u,
                                              const float *v, const unsigned char *fg,
                                              const unsigned char *bg, unsigned char *dst, long n) {
  TONECUT_KEY_LOOP(8)
}

// The same steps written out for AVX-512, whose compares give bit masks:
// whole groups are tested without leaving the mask registers, and a term
// is kept or made +0 by a zero-masked move, as the lanes above do with an
// and.
#define TONECUT_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw"), always_inline)) inline
TONECUT_AVX512 __m256 distance_avx512(const float *p, float key, float tol, __mmask8 &within) {
  const __m256 d = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_sub_ps(_mm256_loadu_ps(p), _mm256_set1_ps(key)));
  within = _mm256_cmp_ps_mask(d, _mm256_set1_ps(tol), _CMP_LE_OQ);
  return d;
}

TONECUT_AVX512 __m256 add_term_avx512(__m256 sum, __mmask8 within, __m256 d, float tol) {
  const __m256 term = _mm256_sub_ps(_mm256_set1_ps(1.0f), _mm256_div_ps(d, _mm256_set1_ps(tol)));
  return _mm256_add_ps(sum, _mm256_maskz_mov_ps(within, term));
}

TONECUT_AVX512 void key8_avx512(const Key &key, const float *yp, const float *up, const float *vp,
                                const unsigned char *fg, const unsigned char *bg, unsigned char *dst) {
  const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
  __m256 dy = zero, du = zero, dv = zero;
  __mmask8 cy = 0, cu = 0, cv = 0;
  if (key.y_on) dy = distance_avx512(yp, key.y, key.tol_y, cy);
  if (key.u_on) du = distance_avx512(up, key.u, key.tol_u, cu);
  if (key.v_on) dv = distance_avx512(vp, key.v, key.tol_v, cv);
  const __mmask8 candidate = cy | cu | cv;
  if (!candidate) {
    std::memmove(dst, fg, 32);
    return;
  }
  __m256 sum = add_term_avx512(zero, cy, dy, key.tol_y);
  sum = add_term_avx512(sum, cu, du, key.tol_u);
  sum = add_term_avx512(sum, cv, dv, key.tol_v);
  // The count of terms as a float, 1 where there are none (0 / 1 = 0).
  __m256 count = _mm256_add_ps(_mm256_maskz_mov_ps(cy, one), _mm256_maskz_mov_ps(cu, one));
  count = _mm256_mask_blend_ps(candidate, one, _mm256_add_ps(count, _mm256_maskz_mov_ps(cv, one)));
  const __m256 m = _mm256_div_ps(sum, count), blend = _mm256_set1_ps(key.blend);
  const __m256 ramp = _mm256_maskz_mov_ps(_mm256_cmp_ps_mask(m, zero, _CMP_NEQ_UQ), _mm256_div_ps(m, blend));
  const __m256 k =
      _mm256_maskz_mov_ps(candidate, _mm256_mask_blend_ps(_mm256_cmp_ps_mask(m, blend, _CMP_GT_OQ), ramp, one));
  if (!_mm256_cmp_ps_mask(k, zero, _CMP_NEQ_UQ)) {
    std::memmove(dst, fg, 32);
    return;
  }
  if (!_mm256_cmp_ps_mask(k, one, _CMP_NEQ_UQ)) {
    std::memmove(dst, bg, 32);
    return;
  }
  Lanes<8>::F lanes;
  std::memcpy(&lanes, &k, sizeof lanes);
  mix_lanes<8>(lanes, fg, bg, dst);
}

// Sixteen pixels at a time in full registers: the same steps.
TONECUT_AVX512 __m512 distance16(const float *p, float key, float tol, __mmask16 &within) {
  const __m512 d = _mm512_andnot_ps(_mm512_set1_ps(-0.0f), _mm512_sub_ps(_mm512_loadu_ps(p), _mm512_set1_ps(key)));
  within = _mm512_cmp_ps_mask(d, _mm512_set1_ps(tol), _CMP_LE_OQ);
  return d;
}

TONECUT_AVX512 __m512 add_term16(__m512 sum, __mmask16 within, __m512 d, float tol) {
  const __m512 term = _mm512_sub_ps(_mm512_set1_ps(1.0f), _mm512_div_ps(d, _mm512_set1_ps(tol)));
  return _mm512_add_ps(sum, _mm512_maskz_mov_ps(within, term));
}

TONECUT_AVX512 void key16_avx512(const Key &key, const float *yp, const float *up, const float *vp,
                                 const unsigned char *fg, const unsigned char *bg, unsigned char *dst) {
  const __m512 zero = _mm512_setzero_ps(), one = _mm512_set1_ps(1.0f);
  __m512 dy = zero, du = zero, dv = zero;
  __mmask16 cy = 0, cu = 0, cv = 0;
  if (key.y_on) dy = distance16(yp, key.y, key.tol_y, cy);
  if (key.u_on) du = distance16(up, key.u, key.tol_u, cu);
  if (key.v_on) dv = distance16(vp, key.v, key.tol_v, cv);
  const unsigned candidate = (unsigned)(cy | cu | cv);
  if (!candidate) {
    std::memmove(dst, fg, 64);
    return;
  }
  __m512 sum = add_term16(zero, cy, dy, key.tol_y);
  sum = add_term16(sum, cu, du, key.tol_u);
  sum = add_term16(sum, cv, dv, key.tol_v);
  __m512 count = _mm512_add_ps(_mm512_maskz_mov_ps(cy, one), _mm512_maskz_mov_ps(cu, one));
  count = _mm512_mask_blend_ps((__mmask16)candidate, one, _mm512_add_ps(count, _mm512_maskz_mov_ps(cv, one)));
  const __m512 m = _mm512_div_ps(sum, count), blend = _mm512_set1_ps(key.blend);
  const __m512 ramp = _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(m, zero, _CMP_NEQ_UQ), _mm512_div_ps(m, blend));
  const __m512 k = _mm512_maskz_mov_ps((__mmask16)candidate,
                                       _mm512_mask_blend_ps(_mm512_cmp_ps_mask(m, blend, _CMP_GT_OQ), ramp, one));
  if (!_mm512_cmp_ps_mask(k, zero, _CMP_NEQ_UQ)) {
    std::memmove(dst, fg, 64);
    return;
  }
  if (!_mm512_cmp_ps_mask(k, one, _CMP_NEQ_UQ)) {
    std::memmove(dst, bg, 64);
    return;
  }
  alignas(64) float weights[16];
  _mm512_store_ps(weights, k);
  Lanes<8>::F half;
  std::memcpy(&half, weights, sizeof half);
  mix_lanes<8>(half, fg, bg, dst);
  std::memcpy(&half, weights + 8, sizeof half);
  mix_lanes<8>(half, fg + 32, bg + 32, dst + 32);
}
#undef TONECUT_AVX512

__attribute__((target("avx512f,avx512dq,avx512vl,avx512bw"))) long avx512_run(
    const Key &key, const float *y, const float *u, const float *v, const unsigned char *fg,
    const unsigned char *bg, unsigned char *dst, long n) {
  long i = 0;
  for (; i + 16 <= n; i += 16) key16_avx512(key, y + i, u + i, v + i, fg + 4 * i, bg + 4 * i, dst + 4 * i);
  for (; i + 8 <= n; i += 8) key8_avx512(key, y + i, u + i, v + i, fg + 4 * i, bg + 4 * i, dst + 4 * i);
  return i;
}
#endif
#undef TONECUT_KEY_LOOP

// A run one pixel at a time.
void plain_run(const Key &key, const float *y, const float *u, const float *v, const unsigned char *fg,
               const unsigned char *bg, unsigned char *dst, long n) {
  for (long i = 0; i < n; ++i)
    mix(dst + 4 * i, fg + 4 * i, bg + 4 * i,
        key_weight(key, y[i], key.u_on ? u[i] : 0.0f, key.v_on ? v[i] : 0.0f));
}

}  // namespace

void key_run(LanePath path, const Key &key, const float *y, const float *u, const float *v,
             const unsigned char *fg, const unsigned char *bg, unsigned char *dst, long n) {
  long done = 0;
  switch (path) {
    case LanePath::lanes:
      done = lanes_run(key, y, u, v, fg, bg, dst, n);
      break;
#if defined(__x86_64__) || defined(__i386__)
    case LanePath::avx2:
      done = avx2_run(key, y, u, v, fg, bg, dst, n);
      break;
    case LanePath::avx512:
      done = avx512_run(key, y, u, v, fg, bg, dst, n);
      break;
#endif
    default:
      break;
  }
  plain_run(key, y + done, u + done, v + done, fg + 4 * done, bg + 4 * done, dst + 4 * done, n - done);
}

}  // namespace tonecut
