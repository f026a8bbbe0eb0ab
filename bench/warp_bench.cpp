// warp at 1920x1080, by brightness and by red/green, clamped and wrapped.
#include "bench_support.h"

static void BM_warp(benchmark::State &state) {
  const int color = (int)state.range(0), wrap = (int)state.range(1);
  seqfx_bench::run(state, "warp", [=](seqfx::Plugin &p) {
    p.set_value("Color", color);
    p.set_value("Wrap", wrap);
  }, 2);
}
BENCHMARK(BM_warp)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
