// dualpane at 1920x1080: the widest band (Border 1) in every mix, split by
// columns and by rows.
#include "bench_support.h"

static void BM_dualpane(benchmark::State &state) {
  const int type = (int)state.range(0), horizontal = (int)state.range(1);
  seqfx_bench::run(state, "dualpane", [type, horizontal](seqfx::Plugin &p) {
    p.set_value("MixType:", type);
    p.set_value("Border:", 1);
    p.set_value("Horizontal:", horizontal);
  }, 2);
}
BENCHMARK(BM_dualpane)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})->Unit(benchmark::kMillisecond);
