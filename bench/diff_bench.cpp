#include "bench_support.h"

static void BM_diff_difference(benchmark::State &state) {
  seqfx_bench::run(state, "diff", {}, 3);
}
BENCHMARK(BM_diff_difference)->Unit(benchmark::kMillisecond);

static void BM_diff_mask(benchmark::State &state) {
  seqfx_bench::run(state, "diff", [](seqfx::Plugin &p) { p.set_value("Absolute", 1); }, 3);
}
BENCHMARK(BM_diff_mask)->Unit(benchmark::kMillisecond);
