#include "bench_support.h"

static void BM_depthmerge_three(benchmark::State &state) {
  seqfx_bench::run(state, "depthmerge", {}, 3, true);
}
BENCHMARK(BM_depthmerge_three)->Unit(benchmark::kMillisecond);

static void BM_depthmerge_two_inverted(benchmark::State &state) {
  seqfx_bench::run(state, "depthmerge", [](seqfx::Plugin &p) { p.set_value("Invert", 1); }, 2, true);
}
BENCHMARK(BM_depthmerge_two_inverted)->Unit(benchmark::kMillisecond);
