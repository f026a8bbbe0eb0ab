// Several pixels per vector, each lane doing the one-pixel shift's double
// operations in its order. Branches become selections; floor of the
// non-negative values met here is done by adding 2^52, which leaves the
// integer in the low bits. Two lanes with SSE2; four where the processor
// has AVX2, chosen at run time (never fused multiply-adds).

#include "hsv_lanes.h"

#include <cmath>
#include <cstring>

// The four-lane helpers are inlined into the one AVX2 function, so no
// vector crosses a call: the ABI note about passing them does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace invert_hsv {
namespace {

constexpr double kMagic = 4503599627370496.0;  // 2^52
constexpr double kMaxTurn = 1048576.0;         // 2^20 degrees

template <int N>
struct Lanes {
  typedef double D __attribute__((vector_size(8 * N)));
  typedef long long M __attribute__((vector_size(8 * N)));
  typedef unsigned U __attribute__((vector_size(4 * N)));  // one pixel per lane
  typedef int I __attribute__((vector_size(4 * N)));
};

template <typename D, typename M>
__attribute__((always_inline)) inline D pick(const M &mask, const D &a, const D &b) {
  return (D)((mask & (M)a) | (~mask & (M)b));
}

// floor(x) for 0 <= x < 2^51, as a double.
template <typename D, typename M>
__attribute__((always_inline)) inline D floor_pos(const D &x) {
  const D t = (x + kMagic) - kMagic;
  return pick<D, M>((M)(t > x), t - 1.0, t);
}

// The remainder of x by 360 with the sign of x, as fmod gives it, for
// |x| < 2^21: the quotient is truncated, the product and the difference are
// exact, and a quotient rounded across a whole number is mended.
template <typename D, typename M>
__attribute__((always_inline)) inline D wrap360(const D &x) {
  const D k = floor_pos<D, M>(pick<D, M>((M)(x < 0.0), -x, x) / 360.0);
  D r = x - pick<D, M>((M)(x < 0.0), -k, k) * 360.0;
  const M pos = (M)(x >= 0.0);
  r = pick<D, M>(pos & (M)(r < 0.0), r + 360.0, r);
  r = pick<D, M>(pos & (M)(r >= 360.0), r - 360.0, r);
  r = pick<D, M>(~pos & (M)(r > 0.0), r - 360.0, r);
  r = pick<D, M>(~pos & (M)(r <= -360.0), r + 360.0, r);
  return r;
}

// The same remainder for -360 <= x < 1080 (a turn of at most 360 degrees
// added to a hue below 360): at most two turns taken off or one added, each
// an exact difference. -360 gives +0 where the remainder is -0; both lead to
// the same bytes.
template <typename D, typename M>
__attribute__((always_inline)) inline D wrap_near(const D &x) {
  return pick<D, M>((M)(x >= 720.0), x - 720.0,
                    pick<D, M>((M)(x >= 360.0), x - 360.0, pick<D, M>((M)(x <= -360.0), x + 360.0, x)));
}

template <int N, bool kNear>
__attribute__((always_inline)) inline void shift_block(unsigned char *px, double dh, double ds, double dv) {
  typedef typename Lanes<N>::D D;
  typedef typename Lanes<N>::M M;
  typedef typename Lanes<N>::U U;
  typedef typename Lanes<N>::I I;
  U pixels;
  std::memcpy(&pixels, px, sizeof pixels);
  const D b0 = __builtin_convertvector((I)(pixels & 0xFFu), D);
  const D b1 = __builtin_convertvector((I)(pixels >> 8 & 0xFFu), D);
  const D b2 = __builtin_convertvector((I)(pixels >> 16 & 0xFFu), D);
  D mx = pick<D, M>((M)(b1 > b0), b1, b0);
  mx = pick<D, M>((M)(b2 > mx), b2, mx);
  D mn = pick<D, M>((M)(b1 < b0), b1, b0);
  mn = pick<D, M>((M)(b2 < mn), b2, mn);
  const D delta = mx - mn;
  const M grey = (M)(delta == 0.0);
  D s = pick<D, M>((M)(mx == 0.0), mx - mx, delta / mx);
  // One quotient per pixel: 60 (b2 - b1) / delta where byte 0 is the
  // largest, else the difference of the other two over delta, placed in
  // its sixth of the circle.
  const M first = (M)(b0 == mx), second = ~first & (M)(b2 == mx);
  const D num = pick<D, M>(first, 60.0 * (b2 - b1), pick<D, M>(second, b1 - b0, b0 - b2));
  const D quo = num / delta;
  D h = pick<D, M>(first, quo, 60.0 * (pick<D, M>(second, quo - quo + 2.0, quo - quo + 4.0) + quo));
  h = pick<D, M>((M)(h < 0.0), h + 360.0, h);

  D v = mx / 255.0 + dv;
  v = pick<D, M>((M)(v < 0.0), v - v, pick<D, M>((M)(v > 1.0), v - v + 1.0, v));
  s = s + ds;
  s = pick<D, M>((M)(s < 0.0), s - s, pick<D, M>((M)(s > 1.0), s - s + 1.0, s));
  s = pick<D, M>(grey, s - s, s);  // an undefined hue stays grey
  h = kNear ? wrap_near<D, M>(h + dh * 360.0) : wrap360<D, M>(h + dh * 360.0);
  h = pick<D, M>((M)(h < 0.0), h + 360.0, h);
  h = pick<D, M>((M)(h >= 360.0), h - h, h);
  h = h / 60.0;
  D i = floor_pos<D, M>(h);
  i = pick<D, M>((M)(i > 5.0), i - i + 5.0, i);
  const D f = h - i;
  const D V = floor_pos<D, M>(v * 255.0);
  const D P = floor_pos<D, M>((v * (1.0 - s)) * 255.0);
  const D Q = floor_pos<D, M>((v * (1.0 - s * f)) * 255.0);
  const D T = floor_pos<D, M>((v * (1.0 - s * (1.0 - f))) * 255.0);
  const M flat = (M)(s == 0.0);
  const M i0 = (M)(i == 0.0), i1 = (M)(i == 1.0), i2 = (M)(i == 2.0);
  const M i3 = (M)(i == 3.0), i4 = (M)(i == 4.0);
  D r0 = pick<D, M>(i1, Q, pick<D, M>(i2 | i3, P, pick<D, M>(i4, T, V)));
  D r1 = pick<D, M>(i0 | i1, P, pick<D, M>(i2, T, pick<D, M>(i3 | i4, V, Q)));
  D r2 = pick<D, M>(i0, T, pick<D, M>(i1 | i2, V, pick<D, M>(i3, Q, P)));
  r0 = pick<D, M>(flat, V, r0);
  r1 = pick<D, M>(flat, V, r1);
  r2 = pick<D, M>(flat, V, r2);
  // Whole numbers 0..255 each: truncation gives them back.
  const U bytes = (U)__builtin_convertvector(r0, I) | (U)__builtin_convertvector(r1, I) << 8 |
                  (U)__builtin_convertvector(r2, I) << 16 | (pixels & 0xFF000000u);
  std::memcpy(px, &bytes, sizeof bytes);
}

template <int N>
__attribute__((always_inline)) inline long shift_run(unsigned char *px, long n, double dh, double ds, double dv) {
  long k = 0;
  if (std::fabs(dh * 360.0) <= 360.0)
    for (; k + N <= n; k += N) shift_block<N, true>(px + 4 * k, dh, ds, dv);
  else
    for (; k + N <= n; k += N) shift_block<N, false>(px + 4 * k, dh, ds, dv);
  return k;
}

long shift_sse2(unsigned char *px, long n, double dh, double ds, double dv) {
  return shift_run<2>(px, n, dh, ds, dv);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"), flatten)) long shift_avx2(unsigned char *px, long n, double dh,
                                                         double ds, double dv) {
  return shift_run<4>(px, n, dh, ds, dv);
}
#endif

}  // namespace

bool lanes_apply(double dh, double ds, double dv) {
  return std::isfinite(ds) && std::isfinite(dv) && std::fabs(dh * 360.0) <= kMaxTurn;
}

void shift_lanes(unsigned char *px, long n, double dh, double ds, double dv) {
  long done = 0;
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx2")) done = shift_avx2(px, n, dh, ds, dv);
#endif
  done += shift_sse2(px + 4 * done, n - done, dh, ds, dv);
  // One pixel left over: a block of two whose second lane is a copy.
  if (done < n) {
    unsigned char pair[8];
    std::memcpy(pair, px + 4 * done, 4);
    std::memcpy(pair + 4, px + 4 * done, 4);
    shift_sse2(pair, 2, dh, ds, dv);
    std::memcpy(px + 4 * done, pair, 4);
  }
}

}  // namespace invert_hsv
