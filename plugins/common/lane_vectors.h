// Vectors of N lanes for the forms that give each pixel one lane: the same
// single- or double-precision operations as the one-pixel path, in the same
// order, N pixels at a time. The types carry no instruction set: a routine
// written over them compiles to SSE2, AVX2 or AVX-512 registers as its
// caller's target has it.
#pragma once

namespace seqfx_common {

template <int N>
struct Lanes {
  typedef float F __attribute__((vector_size(4 * N)));
  typedef int I __attribute__((vector_size(4 * N)));
  // One pixel a lane, read as a little-endian word: byte 0 in the low bits.
  typedef unsigned U __attribute__((vector_size(4 * N)));
  // Every lane as a double.
  typedef double D __attribute__((vector_size(8 * N)));
};

}  // namespace seqfx_common
