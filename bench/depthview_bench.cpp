#include "bench_support.h"

static void BM_depthview(benchmark::State &state) {
  seqfx_bench::run(state, "depthview", {}, 1, true);
}
BENCHMARK(BM_depthview)->Unit(benchmark::kMillisecond);
