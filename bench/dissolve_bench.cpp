// speckle at 1920x1080: one draw per pixel.
#include "bench_support.h"

static void BM_speckle(benchmark::State &state) {
  seqfx_bench::run(state, "speckle", {}, 2);
}
BENCHMARK(BM_speckle)->Unit(benchmark::kMillisecond);
