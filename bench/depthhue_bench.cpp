#include "bench_support.h"

static void BM_depthhue_defaults(benchmark::State &state) {
  seqfx_bench::run(state, "depthhue", {}, 1, true);
}
BENCHMARK(BM_depthhue_defaults)->Unit(benchmark::kMillisecond);

static void BM_depthhue_non_linear(benchmark::State &state) {
  seqfx_bench::run(state, "depthhue", [](seqfx::Plugin &p) {
    p.set_value("Non-linear", 1);
    p.set_value("Exponent", 2);
  }, 1, true);
}
BENCHMARK(BM_depthhue_non_linear)->Unit(benchmark::kMillisecond);
