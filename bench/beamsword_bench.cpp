#include "bench_support.h"

// The defaults with a coloured aura (the default black aura adds nothing).
static void BM_beamsword_defaults_red(benchmark::State &state) {
  seqfx_bench::run(state, "beamsword", [](seqfx::Plugin &p) { p.set_colour(1, 255, 40, 20); });
}
BENCHMARK(BM_beamsword_defaults_red)->Unit(benchmark::kMillisecond);
