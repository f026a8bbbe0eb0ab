// anaglyph at 1920x1080 with the defaults and with both gammas and the
// balances away from them.
#include "bench_support.h"

static void BM_anaglyph(benchmark::State &state) {
  const bool curved = state.range(0) != 0;
  seqfx_bench::run(state, "anaglyph", [curved](seqfx::Plugin &p) {
    if (!curved) return;
    p.set_value("R Gam", 0.7);
    p.set_value("G Gam", 1.6);
    p.set_value("Br Bal", 0.2);
    p.set_value("G Bal", 0.4);
  }, 2);
}
BENCHMARK(BM_anaglyph)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
