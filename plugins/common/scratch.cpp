#include "scratch.h"

#include <cstddef>
#include <cstdlib>

#include <sys/mman.h>

namespace seqfx_common {

float *alloc_floats(std::uint64_t count) {
  const std::uint64_t bytes = count * sizeof(float);
  if (count == 0 || bytes / sizeof(float) != count || bytes > (std::uint64_t)SIZE_MAX) return nullptr;
  return static_cast<float *>(std::malloc((std::size_t)bytes));
}

void *zeroed_pages(std::uint64_t bytes) {
  if (bytes == 0 || bytes > (std::uint64_t)SIZE_MAX / 2) return nullptr;
  void *p = mmap(nullptr, (std::size_t)bytes, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

void release_pages(void *block, std::uint64_t bytes) {
  if (block) munmap(block, (std::size_t)bytes);
}

}  // namespace seqfx_common
