#include "bench_support.h"

static void BM_defocus_defaults(benchmark::State &state) {
  seqfx_bench::run(state, "defocus", {}, 1, true);
}
BENCHMARK(BM_defocus_defaults)->Unit(benchmark::kMillisecond);

static void BM_defocus_blursize30(benchmark::State &state) {
  seqfx_bench::run(state, "defocus", [](seqfx::Plugin &p) { p.set_value("Blursize", 30); }, 1, true);
}
BENCHMARK(BM_defocus_blursize30)->Unit(benchmark::kMillisecond)->Iterations(2);

static void BM_defocus_sigma_gamma(benchmark::State &state) {
  seqfx_bench::run(state, "defocus", [](seqfx::Plugin &p) {
    p.set_value("Sigma", 8);
    p.set_value("Gamma", 0.5);
  }, 1, true);
}
BENCHMARK(BM_defocus_sigma_gamma)->Unit(benchmark::kMillisecond);
