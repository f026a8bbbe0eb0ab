// turnover at 1920x1080: each mirror and the quarter turn.
#include "bench_support.h"

static void BM_turnover(benchmark::State &state) {
  const int fx = (int)state.range(0), fy = (int)state.range(1), rot = (int)state.range(2);
  seqfx_bench::run(state, "turnover", [=](seqfx::Plugin &p) {
    p.set_value("Flip X", fx);
    p.set_value("Flip Y", fy);
    p.set_value("rot", rot);
  });
}
BENCHMARK(BM_turnover)
    ->Args({1, 0, 0})
    ->Args({0, 1, 0})
    ->Args({0, 0, 1})
    ->Args({1, 1, 1})
    ->Unit(benchmark::kMillisecond);
