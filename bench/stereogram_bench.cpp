#include "bench_support.h"

static void BM_stereogram_defaults(benchmark::State &state) {
  seqfx_bench::run(state, "stereogram", {}, 1, true);
}
BENCHMARK(BM_stereogram_defaults)->Unit(benchmark::kMillisecond);

static void BM_stereogram_fast_interpolated(benchmark::State &state) {
  seqfx_bench::run(state, "stereogram", [](seqfx::Plugin &p) {
    p.set_value("Fast mode", 1);
    p.set_value("Interpolate", 1);
  }, 1, true);
}
BENCHMARK(BM_stereogram_fast_interpolated)->Unit(benchmark::kMillisecond);
