// filmwear at 1920x1080: one random draw per pixel is part of the effect.
#include "bench_support.h"

static void BM_filmwear(benchmark::State &state) {
  seqfx_bench::run(state, "filmwear");
}
BENCHMARK(BM_filmwear)->Unit(benchmark::kMillisecond);
