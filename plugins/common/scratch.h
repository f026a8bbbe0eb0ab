// Scratch memory for the passes of a module.
#pragma once

#include <cstdint>

namespace seqfx_common {

// count floats from the standard allocator (free with std::free), or null
// when count is 0 or the size does not fit the address space: such a size
// counts as memory that cannot be had.
float *alloc_floats(std::uint64_t count);

}  // namespace seqfx_common
