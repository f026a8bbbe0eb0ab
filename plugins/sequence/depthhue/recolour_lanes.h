// depthhue: pixels in groups of N, one lane each. Every lane does the same
// single- or double-precision operations as the pixel-by-pixel path, in the
// same order and without fused multiply-adds, so the bytes are the same;
// only the order of work differs. Four lanes with the base instruction set,
// eight where the processor has AVX2 (chosen at run time).
#pragma once

#include "hsv.h"
#include "lane_vectors.h"

#include <cstring>

namespace depthhue_impl {

template <int N>
struct Lanes : seqfx_common::Lanes<N> {
  // Half the lanes as doubles.
  typedef double DH __attribute__((vector_size(4 * N)));
  typedef long long LH __attribute__((vector_size(4 * N)));
};

// u limited to 0..1, not a number counting as 0, for half the lanes: as
// doubles these fill one register, where the compares and selections stay
// vector operations (on the whole vector they would not).
template <int N>
__attribute__((always_inline)) inline void limit_unit(typename Lanes<N>::DH &u) {
  typedef typename Lanes<N>::DH DH;
  typedef typename Lanes<N>::LH LH;
  const DH zero = {}, one = zero + 1.0;
  LH m = u > zero;
  u = (DH)(m & (LH)u);  // 0 where not above 0
  m = u < one;
  u = (DH)((m & (LH)u) | (~m & (LH)one));
}

// The sectors (i, w) of N depth fractions under the linear mapping
// u = a d + b, limited to 0..1. Results go through references so that no
// vector wider than the base target is passed or returned by value.
template <int N>
__attribute__((always_inline)) inline void linear_sectors(const typename Lanes<N>::F &d, double a,
                                                          double b, typename Lanes<N>::I &i,
                                                          typename Lanes<N>::F &w) {
  typedef typename Lanes<N>::F F;
  typedef typename Lanes<N>::D D;
  typedef typename Lanes<N>::DH DH;
  typedef typename Lanes<N>::I I;
  D u = a * __builtin_convertvector(d, D) + b;
  DH half[2];
  std::memcpy(half, &u, sizeof u);
  limit_unit<N>(half[0]);
  limit_unit<N>(half[1]);
  std::memcpy(&u, half, sizeof u);
  // For every float hue from 0 to 240 the product with 1/60 rounds to the
  // same single as the quotient by 60 (checked over all of them): the
  // cheaper multiplication gives the same sector.
  const F h = __builtin_convertvector(u * 240.0, F);  // u x 240, rounded to single
  const F hh = __builtin_convertvector(__builtin_convertvector(h, D) * (1.0 / 60.0), F);
  i = __builtin_convertvector(hh, I);  // truncated: hh is 0..4
  const F f = hh - __builtin_convertvector(i, F);
  w = (i & 1) == 1 ? f : 1.0f - f;
}

// N pixels recoloured with their sectors: saturation and value from the
// largest and smallest byte, then v, x and p placed by the sector as
// hsv_place gives them. Alpha passes through.
template <int N>
__attribute__((always_inline)) inline void recolour_lanes(const typename Lanes<N>::U &px,
                                                          const typename Lanes<N>::I &i,
                                                          const typename Lanes<N>::F &w,
                                                          typename Lanes<N>::U &out) {
  typedef typename Lanes<N>::F F;
  typedef typename Lanes<N>::I I;
  typedef typename Lanes<N>::U U;
  const I r = (I)(px & 0xFFu), g = (I)(px >> 8 & 0xFFu), b = (I)(px >> 16 & 0xFFu);
  I hi = g > r ? g : r, lo = g < r ? g : r;
  hi = b > hi ? b : hi;
  lo = b < lo ? b : lo;
  // A byte over 255 as a single-precision quotient: for every byte this is
  // the double quotient rounded to single, as the conversion takes it.
  const F zero = {};
  const F v = __builtin_convertvector(hi, F) / 255.0f, vmin = __builtin_convertvector(lo, F) / 255.0f;
  const F s = v == zero ? zero : (v - vmin) / v;
  const F x = v * (1.0f - s * w);
  const F p = v * (1.0f - s);
  const I vb = __builtin_convertvector(v * 255.0f, I) & 0xFF;
  const I xb = __builtin_convertvector(x * 255.0f, I) & 0xFF;
  const I pb = __builtin_convertvector(p * 255.0f, I) & 0xFF;
  // Hues run from 0 to 240 degrees here: sectors 0 to 4. The channel that
  // takes v, x or p in sector k: hsv_place[k].
  I channel[3] = {};
  for (int k = 0; k < 5; ++k) {
    const I sector = i == k;
    channel[hsv_place[k][0]] |= sector & vb;
    channel[hsv_place[k][1]] |= sector & xb;
    channel[hsv_place[k][2]] |= sector & pb;
  }
  out = (U)(channel[0] | channel[1] << 8 | channel[2] << 16) | (px & 0xFF000000u);
}

// The linear mapping over whole groups of N pixels: depths to fractions
// (times 2^-31, exact), sectors, colours. Returns the pixels done.
template <int N>
__attribute__((always_inline)) inline long recolour_linear_lanes(const unsigned char *src, const int *z,
                                                                 unsigned char *dst, long n, double a,
                                                                 double b) {
  typedef typename Lanes<N>::F F;
  typedef typename Lanes<N>::I I;
  typedef typename Lanes<N>::U U;
  long done = 0;
  for (; done + N <= n; done += N) {
    I zz, sector;
    F w;
    U px, out;
    std::memcpy(&zz, z + done, sizeof zz);
    linear_sectors<N>(__builtin_convertvector(zz, F) * (1.0f / 2147483648.0f), a, b, sector, w);
    std::memcpy(&px, src + 4 * done, sizeof px);
    recolour_lanes<N>(px, sector, w, out);
    std::memcpy(dst + 4 * done, &out, sizeof out);
  }
  return done;
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"), flatten)) inline long recolour_linear_avx2(const unsigned char *src,
                                                                         const int *z, unsigned char *dst,
                                                                         long n, double a, double b) {
  return recolour_linear_lanes<8>(src, z, dst, n, a, b);
}
#endif

}  // namespace depthhue_impl
