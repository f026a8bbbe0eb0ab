// phosphor at 1920x1080: the default 3x3 pattern, additive and plain, and
// the largest pattern turned.
#include "bench_support.h"

static void BM_phosphor(benchmark::State &state) {
  const int pattern = (int)state.range(0), additive = (int)state.range(1);
  const int rotate = (int)state.range(2);
  seqfx_bench::run(state, "phosphor", [=](seqfx::Plugin &p) {
    p.set_value("pattern:", pattern);
    p.set_value("additive", additive);
    p.set_value("rotate", rotate);
  });
}
BENCHMARK(BM_phosphor)->Args({5, 1, 0})->Args({5, 0, 0})->Args({7, 1, 1})->Args({8, 0, 1})
    ->Unit(benchmark::kMillisecond);
