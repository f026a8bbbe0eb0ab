#include "bench_support.h"

// A wide box: about half of the picture is keyed.
static void BM_paintcut_wide(benchmark::State &state) {
  seqfx_bench::run(state, "paintcut", [](seqfx::Plugin &p) {
    p.set_value("Red:", 128);
    p.set_value("Green:", 128);
    p.set_value("Blue:", 128);
    p.set_value("Tolerance:", 100);
  }, 2);
}
BENCHMARK(BM_paintcut_wide)->Unit(benchmark::kMillisecond);
