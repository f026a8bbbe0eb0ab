// panepush at 1920x1080, halfway through.
#include "bench_support.h"

static void BM_panepush(benchmark::State &state) {
  seqfx_bench::run(state, "panepush", {}, 2);
}
BENCHMARK(BM_panepush)->Unit(benchmark::kMillisecond);
