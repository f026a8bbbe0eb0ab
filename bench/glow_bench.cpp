#include "bench_support.h"

static void BM_glow_defaults(benchmark::State &state) { seqfx_bench::run(state, "glow"); }
BENCHMARK(BM_glow_defaults)->Unit(benchmark::kMillisecond);

// The table's largest window (n = 120): the cost a frame may reach.
static void BM_glow_largest(benchmark::State &state) {
  seqfx_bench::run(state, "glow", [](seqfx::Plugin &p) {
    p.set_value("Blur Distance", 20);
    p.set_value("Quality", 5);
  });
}
BENCHMARK(BM_glow_largest)->Unit(benchmark::kMillisecond);
