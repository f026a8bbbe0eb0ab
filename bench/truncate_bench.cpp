#include "bench_support.h"

static void BM_truncate_range(benchmark::State &state) {
  seqfx_bench::run(state, "truncate", [](seqfx::Plugin &p) { p.set_value("tpivot", 0.2); });
}
BENCHMARK(BM_truncate_range)->Unit(benchmark::kMillisecond);
