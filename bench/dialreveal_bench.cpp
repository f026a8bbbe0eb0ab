// dialreveal at 1920x1080: a circle over the whole frame, both directions.
#include "bench_support.h"

static void BM_dialreveal(benchmark::State &state) {
  const int cw = (int)state.range(0);
  seqfx_bench::run(state, "dialreveal", [cw](seqfx::Plugin &p) {
    p.set_value("Clockwise", cw);
    p.set_value("Radius", 1);
    p.set_value("Rounds", 2);
  }, 2);
}
BENCHMARK(BM_dialreveal)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
