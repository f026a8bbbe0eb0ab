// Asking for memory before a pass reaches it. Passes that stream through
// whole frames (several inputs at once, each of megabytes) outrun the
// processor's own fetching ahead on the machines measured; asking for the
// lines a few kilobytes ahead keeps them fed.
#pragma once

namespace seqfx_common {

// How far ahead a streaming pass asks, in bytes: far enough to cover the
// memory's delay at the pass's speed, near enough to stay in the nearest
// caches until it is read.
constexpr long kFetchAheadBytes = 4096;

// Asks for the 64-byte lines that hold [p, p + bytes). Always inlined: as a
// call, whose only effect (the fetch) counts as none, it would be dropped.
__attribute__((always_inline)) inline void fetch_lines(const void *p, long bytes) {
  const char *c = static_cast<const char *>(p);
  for (long i = 0; i < bytes; i += 64) __builtin_prefetch(c + i);
}

}  // namespace seqfx_common
