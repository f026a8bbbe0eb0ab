// jitter at 1920x1080: the default vertical shake, and both ways wrapped.
#include "bench_support.h"

static void BM_jitter(benchmark::State &state) {
  const int xstep = (int)state.range(0), wrap = (int)state.range(1);
  seqfx_bench::run(state, "jitter", [=](seqfx::Plugin &p) {
    p.set_value("Xstep", xstep);
    p.set_value("wrap", wrap);
  });
}
BENCHMARK(BM_jitter)->Args({0, 0})->Args({50, 1})->Unit(benchmark::kMillisecond);
