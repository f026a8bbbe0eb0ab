#include "bench_support.h"

// Defaults: the first strip's non-black pixels are the sources (nearly all
// of the benchmark picture), with depth.
static void BM_afterglow_mask(benchmark::State &state) {
  seqfx_bench::run(state, "afterglow", {}, 1, true);
}
BENCHMARK(BM_afterglow_mask)->Unit(benchmark::kMillisecond);

// A mask strip, no depth, the widest glow.
static void BM_afterglow_strip_wide(benchmark::State &state) {
  seqfx_bench::run(state, "afterglow", [](seqfx::Plugin &p) { p.set_value(2, 1.0); }, 2, false);
}
BENCHMARK(BM_afterglow_strip_wide)->Unit(benchmark::kMillisecond);

static void BM_afterglow_weights(benchmark::State &state) {
  seqfx_bench::run(state, "afterglow", [](seqfx::Plugin &p) { p.set_value(11, 1); }, 1, true);
}
BENCHMARK(BM_afterglow_weights)->Unit(benchmark::kMillisecond);
