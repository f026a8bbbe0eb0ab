// spin at 1920x1080: the defaults (animated spiral, rectangular extend,
// interpolation), a plain rotation, and the cross-fade of two strips.
#include "bench_support.h"

static void BM_spin_defaults(benchmark::State &state) { seqfx_bench::run(state, "spin"); }
BENCHMARK(BM_spin_defaults)->Unit(benchmark::kMillisecond);

static void BM_spin_rotate(benchmark::State &state) {
  seqfx_bench::run(state, "spin", [](seqfx::Plugin &p) {
    p.set_value("Spiral", 0);
    p.set_value("Degrees:", 30);
  });
}
BENCHMARK(BM_spin_rotate)->Unit(benchmark::kMillisecond);

static void BM_spin_crossfade(benchmark::State &state) {
  seqfx_bench::run(state, "spin", [](seqfx::Plugin &p) { p.set_value("Crossfade", 1); }, 2);
}
BENCHMARK(BM_spin_crossfade)->Unit(benchmark::kMillisecond);

static void BM_spin_rotate_nearest(benchmark::State &state) {
  seqfx_bench::run(state, "spin", [](seqfx::Plugin &p) {
    p.set_value("Spiral", 0);
    p.set_value("Degrees:", 30);
    p.set_value("Interpolate", 0);
  });
}
BENCHMARK(BM_spin_rotate_nearest)->Unit(benchmark::kMillisecond);

