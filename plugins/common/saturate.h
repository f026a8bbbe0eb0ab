// Truncation toward zero of a single-precision value into an int that is
// defined for every value: beyond the int range it is held at the nearer
// end, and a value that is not a number gives `nan_value`.
#ifndef SEQFX_COMMON_SATURATE_H
#define SEQFX_COMMON_SATURATE_H

#include <climits>

namespace seqfx_common {

inline int trunc_int(float v, int nan_value = 0) {
  if (!(v == v)) return nan_value;
  if (v >= 2147483648.0f) return INT_MAX;
  if (v <= -2147483648.0f) return INT_MIN;
  return (int)v;
}

}  // namespace seqfx_common

#endif
