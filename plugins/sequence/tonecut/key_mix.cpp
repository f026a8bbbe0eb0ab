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
// and. N pixels at a time: eight in half registers, sixteen in full ones.
#define TONECUT_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw"), always_inline)) inline

template <int N>
struct Masked;

template <>
struct Masked<8> {
  typedef __m256 V;
  typedef __mmask8 M;
  static TONECUT_AVX512 V splat(float x) { return _mm256_set1_ps(x); }
  static TONECUT_AVX512 V zero() { return _mm256_setzero_ps(); }
  static TONECUT_AVX512 V load(const float *p) { return _mm256_loadu_ps(p); }
  static TONECUT_AVX512 V andnot(V a, V b) { return _mm256_andnot_ps(a, b); }
  static TONECUT_AVX512 V sub(V a, V b) { return _mm256_sub_ps(a, b); }
  static TONECUT_AVX512 V add(V a, V b) { return _mm256_add_ps(a, b); }
  static TONECUT_AVX512 V div(V a, V b) { return _mm256_div_ps(a, b); }
  static TONECUT_AVX512 V mul(V a, V b) { return _mm256_mul_ps(a, b); }
  template <int P>
  static TONECUT_AVX512 M cmp(V a, V b) {
    return _mm256_cmp_ps_mask(a, b, P);
  }
  static TONECUT_AVX512 V keep(M m, V a) { return _mm256_maskz_mov_ps(m, a); }
  static TONECUT_AVX512 V blend(M m, V a, V b) { return _mm256_mask_blend_ps(m, a, b); }
  static constexpr M all = 0xFF;
  // Each pixel from bg where m is set, else from fg (dst may be either).
  static TONECUT_AVX512 void pick(M m, const unsigned char *fg, const unsigned char *bg, unsigned char *dst) {
    const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(fg));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(bg));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst), _mm256_mask_blend_epi32(m, f, b));
  }
};

template <>
struct Masked<16> {
  typedef __m512 V;
  typedef __mmask16 M;
  static TONECUT_AVX512 V splat(float x) { return _mm512_set1_ps(x); }
  static TONECUT_AVX512 V zero() { return _mm512_setzero_ps(); }
  static TONECUT_AVX512 V load(const float *p) { return _mm512_loadu_ps(p); }
  static TONECUT_AVX512 V andnot(V a, V b) { return _mm512_andnot_ps(a, b); }
  static TONECUT_AVX512 V sub(V a, V b) { return _mm512_sub_ps(a, b); }
  static TONECUT_AVX512 V add(V a, V b) { return _mm512_add_ps(a, b); }
  static TONECUT_AVX512 V div(V a, V b) { return _mm512_div_ps(a, b); }
  static TONECUT_AVX512 V mul(V a, V b) { return _mm512_mul_ps(a, b); }
  template <int P>
  static TONECUT_AVX512 M cmp(V a, V b) {
    return _mm512_cmp_ps_mask(a, b, P);
  }
  static TONECUT_AVX512 V keep(M m, V a) { return _mm512_maskz_mov_ps(m, a); }
  static TONECUT_AVX512 V blend(M m, V a, V b) { return _mm512_mask_blend_ps(m, a, b); }
  static constexpr M all = 0xFFFF;
  static TONECUT_AVX512 void pick(M m, const unsigned char *fg, const unsigned char *bg, unsigned char *dst) {
    const __m512i f = _mm512_loadu_si512(fg), b = _mm512_loadu_si512(bg);
    _mm512_storeu_si512(dst, _mm512_mask_blend_epi32(m, f, b));
  }
};

// A first look at a group before its exact sums, for the many groups whose
// candidates all weigh 1. With each tolerance's reciprocal in place of the
// division, a lane's mean m comes out within 2^-18 of the exact one (each
// term within 2^-21, three terms and their sum's roundings at most eleven
// times 2^-22); a lane whose estimate exceeds Blend by more than 2^-16 is
// therefore surely above it, and weighs exactly 1.
struct Estimate {
  float recip_y, recip_u, recip_v;  // 1 / tolerance
  float above;                      // Blend + 2^-16
  bool usable;                      // no tolerance so large that its reciprocal loses digits
};

Estimate estimate_for(const Key &key) {
  const float margin = 1.0f / 65536;
  // Tolerances that are not numbers, 0, negative or infinite give
  // estimates that are not numbers or never above: such lanes go the exact way.
  const bool usable = !(key.tol_y > 1e30f) && !(key.tol_u > 1e30f) && !(key.tol_v > 1e30f);
  return {1.0f / key.tol_y, 1.0f / key.tol_u, 1.0f / key.tol_v, key.blend + margin, usable};
}

// The lanes whose candidates surely weigh 1 (see Estimate); the others
// stay unset. two and three mark the lanes with two and three terms.
template <int N>
TONECUT_AVX512 typename Masked<N>::M surely_one(const Estimate &est, typename Masked<N>::M cy,
                                               typename Masked<N>::M cu, typename Masked<N>::M cv,
                                               typename Masked<N>::M two, typename Masked<N>::M three,
                                               typename Masked<N>::V dy, typename Masked<N>::V du,
                                               typename Masked<N>::V dv) {
  typedef Masked<N> W;
  typedef typename W::V V;
  const V one = W::splat(1.0f);
  V sum = W::keep(cy, W::sub(one, W::mul(dy, W::splat(est.recip_y))));
  sum = W::add(sum, W::keep(cu, W::sub(one, W::mul(du, W::splat(est.recip_u)))));
  sum = W::add(sum, W::keep(cv, W::sub(one, W::mul(dv, W::splat(est.recip_v)))));
  const V scale = W::blend(three, W::blend(two, one, W::splat(0.5f)), W::splat(1.0f / 3));
  return W::template cmp<_CMP_GT_OQ>(W::mul(sum, scale), W::splat(est.above));
}

template <int N>
TONECUT_AVX512 typename Masked<N>::V distance_masked(const float *p, float key, float tol,
                                                    typename Masked<N>::M &within) {
  typedef Masked<N> W;
  const typename W::V d = W::andnot(W::splat(-0.0f), W::sub(W::load(p), W::splat(key)));
  within = W::template cmp<_CMP_LE_OQ>(d, W::splat(tol));
  return d;
}

template <int N>
TONECUT_AVX512 typename Masked<N>::V add_term_masked(typename Masked<N>::V sum, typename Masked<N>::M within,
                                                    typename Masked<N>::V d, float tol) {
  typedef Masked<N> W;
  // No lane within the tolerance adds +0 everywhere, which leaves the sum
  // as it is: it starts at +0 and its terms are never -0.
  if (!within) return sum;
  const typename W::V term = W::sub(W::splat(1.0f), W::div(d, W::splat(tol)));
  return W::add(sum, W::keep(within, term));
}

template <int N>
TONECUT_AVX512 void key_masked(const Key &key, const Estimate &est, const float *yp, const float *up,
                               const float *vp, const unsigned char *fg, const unsigned char *bg,
                               unsigned char *dst) {
  typedef Masked<N> W;
  typedef typename W::V V;
  typedef typename W::M M;
  const V zero = W::zero(), one = W::splat(1.0f);
  V dy = zero, du = zero, dv = zero;
  M cy = 0, cu = 0, cv = 0;
  if (key.y_on) dy = distance_masked<N>(yp, key.y, key.tol_y, cy);
  if (key.u_on) du = distance_masked<N>(up, key.u, key.tol_u, cu);
  if (key.v_on) dv = distance_masked<N>(vp, key.v, key.tol_v, cv);
  const M candidate = cy | cu | cv;
  if (!candidate) {
    std::memmove(dst, fg, 4 * N);
    return;
  }
  // The lanes with two and with three terms, for the mean.
  const M two = (cy & (cu | cv)) | (cu & cv), three = cy & cu & cv;
  // Every lane either no candidate (weight 0) or surely above Blend
  // (weight 1): the pixels are the inputs' own.
  if (est.usable) {
    const M one_lanes = surely_one<N>(est, cy, cu, cv, two, three, dy, du, dv) & candidate;
    if ((M)(one_lanes | ~candidate) == W::all) {
      W::pick(one_lanes, fg, bg, dst);
      return;
    }
  }
  V sum = add_term_masked<N>(zero, cy, dy, key.tol_y);
  sum = add_term_masked<N>(sum, cu, du, key.tol_u);
  sum = add_term_masked<N>(sum, cv, dv, key.tol_v);
  // The mean of the terms. Dividing by a count of 1 or 2 is exact as a
  // product with 1 or 0.5, so only a group with three terms in a lane pays
  // the division by the count (a lane without terms divides 0 by 1).
  V m;
  if (three) {
    V count = W::add(W::keep(cy, one), W::keep(cu, one));
    count = W::blend(candidate, one, W::add(count, W::keep(cv, one)));
    m = W::div(sum, count);
  } else {
    m = W::mul(sum, W::blend(two, one, W::splat(0.5f)));
  }
  const V blend = W::splat(key.blend);
  // Lanes above the blend weigh 1; the others follow the ramp m / blend,
  // which is 0 where m is, and is only divided out where some lane needs it.
  const M above = W::template cmp<_CMP_GT_OQ>(m, blend);
  const M ramped = candidate & ~above & W::template cmp<_CMP_NEQ_UQ>(m, zero);
  const V ramp = ramped ? W::keep(ramped, W::div(m, blend)) : zero;
  const V k = W::keep(candidate, W::blend(above, ramp, one));
  if (!W::template cmp<_CMP_NEQ_UQ>(k, zero)) {
    std::memmove(dst, fg, 4 * N);
    return;
  }
  if (!W::template cmp<_CMP_NEQ_UQ>(k, one)) {
    std::memmove(dst, bg, 4 * N);
    return;
  }
  // The bytes are mixed N pixels at a time, as the lanes above do.
  typename Lanes<N>::F all;
  std::memcpy(&all, &k, sizeof all);
  mix_lanes<N>(all, fg, bg, dst);
}
#undef TONECUT_AVX512

__attribute__((target("avx512f,avx512dq,avx512vl,avx512bw"))) long avx512_run(
    const Key &key, const float *y, const float *u, const float *v, const unsigned char *fg,
    const unsigned char *bg, unsigned char *dst, long n) {
  const Estimate est = estimate_for(key);
  long i = 0;
  for (; i + 16 <= n; i += 16)
    key_masked<16>(key, est, y + i, u + i, v + i, fg + 4 * i, bg + 4 * i, dst + 4 * i);
  for (; i + 8 <= n; i += 8) key_masked<8>(key, est, y + i, u + i, v + i, fg + 4 * i, bg + 4 * i, dst + 4 * i);
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
