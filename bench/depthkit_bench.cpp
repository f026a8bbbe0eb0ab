#include "bench_support.h"

static void BM_depthkit_defaults(benchmark::State &state) {
  seqfx_bench::run(state, "depthkit", {}, 1, true);
}
BENCHMARK(BM_depthkit_defaults)->Unit(benchmark::kMillisecond);

static void BM_depthkit_dump(benchmark::State &state) {
  seqfx_bench::run(state, "depthkit", [](seqfx::Plugin &p) { p.set_value("Depth/dumpZ", 2); }, 1, true);
}
BENCHMARK(BM_depthkit_dump)->Unit(benchmark::kMillisecond);
