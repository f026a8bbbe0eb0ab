#include "bench_support.h"

static void BM_tintfill_fill(benchmark::State &state) { seqfx_bench::run(state, "tintfill"); }
BENCHMARK(BM_tintfill_fill)->Unit(benchmark::kMillisecond);

static void BM_tintfill_mixer(benchmark::State &state) {
  seqfx_bench::run(state, "tintfill", [](seqfx::Plugin &p) {
    p.set_value("Enable Mixer", 1);
    p.set_value("Mix", 0.5);
  });
}
BENCHMARK(BM_tintfill_mixer)->Unit(benchmark::kMillisecond);
