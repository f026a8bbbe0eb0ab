// split at 1920x1080 in each of its three layouts.
#include "bench_support.h"

static void BM_split(benchmark::State &state) {
  const int mode = (int)state.range(0);
  seqfx_bench::run(state, "split", [mode](seqfx::Plugin &p) {
    p.set_value("Horizontal", mode == 1);
    p.set_value("2*2", mode == 2);
  }, 2);
}
BENCHMARK(BM_split)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
