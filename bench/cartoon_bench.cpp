#include "bench_support.h"

static void BM_cartoon_defaults(benchmark::State &state) { seqfx_bench::run(state, "cartoon"); }
BENCHMARK(BM_cartoon_defaults)->Unit(benchmark::kMillisecond);

static void BM_cartoon_plain_distance_4(benchmark::State &state) {
  seqfx_bench::run(state, "cartoon", [](seqfx::Plugin &p) {
    p.set_value("Flatten", 0);
    p.set_value("Boost", 0);
    p.set_value("diffspace", 4);
  });
}
BENCHMARK(BM_cartoon_plain_distance_4)->Unit(benchmark::kMillisecond);
