#include "bench_support.h"

static void BM_glow_defaults(benchmark::State &state) { seqfx_bench::run(state, "glow"); }
BENCHMARK(BM_glow_defaults)->Unit(benchmark::kMillisecond);
