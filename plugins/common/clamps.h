// Limits and float-to-byte conversions several modules share. Each one is
// exact to the bit: what a module stored with its own copy before, it
// stores with these.
#pragma once

namespace seqfx_common {

// v limited to lo..hi. A value that is not a number compares false both
// ways and comes back as it is.
template <typename T>
constexpr T clamp(T v, T lo, T hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

// A float truncated toward zero with its low 8 bits kept; values no int can
// hold give 0 instead of an undefined conversion.
inline unsigned char low_byte(float v) {
  if (!(v > -2147483648.0f && v < 2147483648.0f)) return 0;
  return (unsigned char)(int)v;
}

// A float truncated toward zero and stored as a byte, 255 from 255 up.
// Meant for values that cannot be negative (one that is, or is not a
// number, still converts without undefined behaviour).
inline unsigned char capped_byte(float v) { return v >= 255.0f ? 255 : low_byte(v); }

// A byte as a fraction of 255: the double quotient rounded to float.
inline float byte_unit(int b) { return (float)(b / 255.0); }

}  // namespace seqfx_common
