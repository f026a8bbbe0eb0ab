// hueriot at 1920x1080, at factor 0.5 (two channels wrap).
#include "bench_support.h"

static void BM_hueriot(benchmark::State &state) { seqfx_bench::run(state, "hueriot"); }
BENCHMARK(BM_hueriot)->Unit(benchmark::kMillisecond);
