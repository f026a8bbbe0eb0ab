#include "bench_support.h"

static void BM_tonecut_defaults(benchmark::State &state) {
  seqfx_bench::run(state, "tonecut", {}, 2);
}
BENCHMARK(BM_tonecut_defaults)->Unit(benchmark::kMillisecond);

// Wide tolerances: nearly every pixel is a candidate and blended.
static void BM_tonecut_wide(benchmark::State &state) {
  seqfx_bench::run(state, "tonecut", [](seqfx::Plugin &p) {
    p.set_value("TolY:", 1);
    p.set_value("TolU:", 1);
    p.set_value("TolV:", 1);
    p.set_value("Blend:", 1);
  }, 2);
}
BENCHMARK(BM_tonecut_wide)->Unit(benchmark::kMillisecond);
