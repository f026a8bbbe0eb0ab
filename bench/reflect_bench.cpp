// reflect at 1920x1080: the half turn (defaults) and each mirror alone.
#include "bench_support.h"

static void BM_reflect(benchmark::State &state) {
  const int flip = (int)state.range(0), flop = (int)state.range(1);
  seqfx_bench::run(state, "reflect", [=](seqfx::Plugin &p) {
    p.set_value("Flip", flip);
    p.set_value("Flop", flop);
  });
}
BENCHMARK(BM_reflect)->Args({1, 1})->Args({0, 1})->Args({1, 0})->Unit(benchmark::kMillisecond);
