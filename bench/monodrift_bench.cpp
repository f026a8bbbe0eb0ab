#include "bench_support.h"

static void BM_monodrift_animated(benchmark::State &state) {
  seqfx_bench::run(state, "monodrift", [](seqfx::Plugin &p) { p.set_value("Animated", 1); }, 1, true);
}
BENCHMARK(BM_monodrift_animated)->Unit(benchmark::kMillisecond);
