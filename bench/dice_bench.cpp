// dice at 1920x1080: the default 15 x 15 blocks and larger ones.
#include "bench_support.h"

static void BM_dice(benchmark::State &state) {
  const int side = (int)state.range(0);
  seqfx_bench::run(state, "dice", [=](seqfx::Plugin &p) {
    p.set_value("Cube SizeX", side);
    p.set_value("Cube SizeY", side);
  });
}
BENCHMARK(BM_dice)->Arg(15)->Arg(100)->Unit(benchmark::kMillisecond);
