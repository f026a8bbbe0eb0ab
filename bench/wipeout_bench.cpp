#include "bench_support.h"

static void BM_wipeout(benchmark::State &state) { seqfx_bench::run(state, "wipeout", {}, 3); }
BENCHMARK(BM_wipeout)->Unit(benchmark::kMillisecond);
