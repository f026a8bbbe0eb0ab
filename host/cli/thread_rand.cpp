// rand() and srand() with one generator per thread, exported from the
// program so that the modules it loads call these instead of the C
// library's.
//
// Modules draw their noise with rand() after seeding it with srand() from
// the frame (its number, a seed parameter). The C library keeps a single
// generator for the whole process, shared by every loaded copy of a
// module; with frames rendered on several workers at once, the draws of
// two frames would interleave and the noise would depend on timing. Here
// every thread draws from its own generator, the C library's own algorithm
// (random_r, seeded 1 at the start as rand is), so a worker draws exactly
// the numbers a run on one thread draws.

#include <cstdlib>

namespace {

struct Generator {
  random_data data{};
  char state[128];  // the size the C library uses for rand()
  Generator() { initstate_r(1, state, sizeof state, &data); }
};

Generator &generator() {
  thread_local Generator g;
  return g;
}

}  // namespace

extern "C" int rand(void) noexcept {
  int32_t r = 0;
  random_r(&generator().data, &r);
  return r;
}

extern "C" void srand(unsigned seed) noexcept { srandom_r(seed, &generator().data); }
