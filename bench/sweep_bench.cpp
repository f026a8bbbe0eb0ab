// sweep at 1920x1080, halfway through the transition, for every pattern.
#include "bench_support.h"

static void BM_sweep(benchmark::State &state) {
  const int type = (int)state.range(0);
  seqfx_bench::run(state, "sweep", [type](seqfx::Plugin &p) { p.set_value("Type", type); }, 2);
}
BENCHMARK(BM_sweep)->DenseRange(0, 21)->Unit(benchmark::kMillisecond);
