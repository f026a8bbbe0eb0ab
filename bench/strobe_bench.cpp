// strobe at 1920x1080 with two strips, flashing every other frame: the
// figure is the mean of a pass-through frame and a flash frame.
#include "bench_support.h"

static void BM_strobe(benchmark::State &state) {
  const int kind = (int)state.range(0);  // 0 inverted, 1 white, 2 second strip
  seqfx_bench::run(state, "strobe", [=](seqfx::Plugin &p) {
    p.set_value("White Flash", kind == 1);
    p.set_value("Alpha Flash", kind == 2);
  }, 2);
}
BENCHMARK(BM_strobe)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
