#include "bench_support.h"

static void BM_invert_defaults(benchmark::State &state) { seqfx_bench::run(state, "invert"); }
BENCHMARK(BM_invert_defaults)->Unit(benchmark::kMillisecond);

static void BM_invert_hsv(benchmark::State &state) {
  seqfx_bench::run(state, "invert", [](seqfx::Plugin &p) { p.set_value("Hue", 0.25); });
}
BENCHMARK(BM_invert_hsv)->Unit(benchmark::kMillisecond);
