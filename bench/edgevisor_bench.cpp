// edgevisor at 1920x1080: the fixed two-row bands and a thickness of 7.
#include "bench_support.h"

static void BM_edgevisor(benchmark::State &state) {
  const int thickness = (int)state.range(0);
  seqfx_bench::run(state, "edgevisor", [=](seqfx::Plugin &p) {
    if (thickness) p.set_value("Thickness", thickness);
  });
}
BENCHMARK(BM_edgevisor)->Arg(0)->Arg(7)->Unit(benchmark::kMillisecond);
