#include "bench_support.h"

static void BM_opacitymask(benchmark::State &state) { seqfx_bench::run(state, "opacitymask"); }
BENCHMARK(BM_opacitymask)->Unit(benchmark::kMillisecond);
