// iris at 1920x1080, opening and closing.
#include "bench_support.h"

static void BM_iris(benchmark::State &state) {
  const int in = (int)state.range(0);
  seqfx_bench::run(state, "iris", [in](seqfx::Plugin &p) { p.set_value("In", in); }, 2);
}
BENCHMARK(BM_iris)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
