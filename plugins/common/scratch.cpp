#include "scratch.h"

#include <cstddef>
#include <cstdlib>

namespace seqfx_common {

float *alloc_floats(std::uint64_t count) {
  const std::uint64_t bytes = count * sizeof(float);
  if (count == 0 || bytes / sizeof(float) != count || bytes > (std::uint64_t)SIZE_MAX) return nullptr;
  return static_cast<float *>(std::malloc((std::size_t)bytes));
}

}  // namespace seqfx_common
