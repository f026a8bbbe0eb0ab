// Scratch memory for the passes of a module.
#pragma once

#include <cstddef>
#include <cstdint>

namespace seqfx_common {

// count floats from the standard allocator (free with std::free), or null
// when count is 0 or the size does not fit the address space: such a size
// counts as memory that cannot be had.
float *alloc_floats(std::uint64_t count);

// bytes of zeroed memory taken straight from the system with every page
// present from the start, or null (also for 0 bytes). Frame-sized scratch
// images are touched in full on every call: mapping their pages in one
// request costs far less than a fault on the first touch of each page.
// Give it back with release_pages and the same size.
void *zeroed_pages(std::uint64_t bytes);
void release_pages(void *block, std::uint64_t bytes);

}  // namespace seqfx_common
