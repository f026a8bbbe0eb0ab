// The blurs sum their float lines in blocks of a fixed length and leave
// out the blocks whose result is known without summing (black, or one flat
// colour). The blocks that do need summing are handed on in runs, so that
// the vector loops run long.
#pragma once

namespace seqfx_common {

// Walks [begin, end) in blocks of `block` values from begin, the last one
// possibly shorter. skip(i0, i1) is offered each block once: it returns
// true for a block it has dealt with itself (filled, or left as it is),
// false for one to be summed. Neighbouring blocks to be summed go to
// sum(x0, x1) as one run, which must write nothing outside it.
template <typename Skip, typename Sum>
inline void sum_runs(int begin, int end, int block, Skip skip, Sum sum) {
  for (int x = begin; x < end;) {
    int stop = x, next = x;
    while (stop < end) {
      next = stop + block < end ? stop + block : end;
      if (skip(stop, next)) break;
      stop = next;
    }
    if (stop > x) sum(x, stop);
    // Past the block skip took, or at the end.
    x = next;
  }
}

}  // namespace seqfx_common
