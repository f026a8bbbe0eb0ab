#include "bench_support.h"

static void BM_desaturate_half(benchmark::State &state) {
  seqfx_bench::run(state, "desaturate", [](seqfx::Plugin &p) { p.set_value("Amount:", 50); });
}
BENCHMARK(BM_desaturate_half)->Unit(benchmark::kMillisecond);
