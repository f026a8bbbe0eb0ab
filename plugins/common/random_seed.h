// The value handed to srand from a single-precision seed (a slider plus the
// frame number): truncated toward zero and taken modulo 2^32, so that -1
// seeds like the unsigned value of -1. A value that is not a number seeds 0,
// and one beyond the 64-bit range is held at its end, so that every 4 bytes
// a host writes into a seed slot give a defined seed.
#ifndef SEQFX_COMMON_RANDOM_SEED_H
#define SEQFX_COMMON_RANDOM_SEED_H

#include <cstdint>

namespace seqfx_common {

inline unsigned seed_from(float v) {
  if (!(v == v)) return 0;
  if (v >= 9223372036854775807.0f) return (unsigned)INT64_MAX;
  if (v <= -9223372036854775808.0f) return (unsigned)(std::uint64_t)INT64_MIN;
  return (unsigned)(std::uint64_t)(std::int64_t)v;
}

}  // namespace seqfx_common

#endif
