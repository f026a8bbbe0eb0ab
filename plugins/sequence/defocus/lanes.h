// defocus: floats side by side for the colour blurs. Each lane has the
// same operations as one float alone, so a vector loop gives the bytes of
// the plain loop. Without wider registers, eight lanes are two halves of
// four; where the processor has eight-lane registers, a second copy of a
// loop compiled for them is chosen at run time.
#pragma once

#include <cstring>

namespace dof {

typedef float V8 __attribute__((vector_size(32)));

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
