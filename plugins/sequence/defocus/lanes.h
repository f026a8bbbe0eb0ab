// defocus: floats side by side for the colour blurs. Each lane has the
// same operations as one float alone, so a vector loop gives the bytes of
// the plain loop. Without wider registers, eight lanes are two halves of
// four; where the processor has eight-lane registers, a second copy of a
// loop compiled for them is chosen at run time.
#pragma once

#include <cstring>

namespace dof {

typedef float V4 __attribute__((vector_size(16)));
typedef float V8 __attribute__((vector_size(32)));
constexpr int kLanes = 4;  // kernel rows are widened to a multiple of this

// dst[j] += k[j] * c for the lanes of one vector (no product for the
// weight plane, whose c is left out).
template <typename V>
__attribute__((always_inline)) inline void add_lanes(float *dst, const float *k) {
  V d, w;
  std::memcpy(&d, dst, sizeof d);
  std::memcpy(&w, k, sizeof w);
  d += w;
  std::memcpy(dst, &d, sizeof d);
}
template <typename V>
__attribute__((always_inline)) inline void add_lanes(float *dst, const float *k, float c) {
  V d, w;
  std::memcpy(&d, dst, sizeof d);
  std::memcpy(&w, k, sizeof w);
  d += w * c;
  std::memcpy(dst, &d, sizeof d);
}

typedef unsigned char U8x8 __attribute__((vector_size(8)));

// Eight bytes from p as floats.
__attribute__((always_inline)) inline void bytes_to_floats(const unsigned char *p, V8 *f) {
  U8x8 b;
  std::memcpy(&b, p, sizeof b);
  *f = __builtin_convertvector(b, V8);
}

inline int min_i(int a, int b) { return a < b ? a : b; }

// Whether the eight-lane copies of the loops can run here.
inline bool have_avx2() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

// Progress line after a row, with every output stream flushed.
void row_done(int y, int height);

}  // namespace dof
