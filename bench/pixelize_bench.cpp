// pixelize at 1920x1080: the default 2 x 2 cells and the largest ones.
#include "bench_support.h"

static void BM_pixelize(benchmark::State &state) {
  const int side = (int)state.range(0);
  seqfx_bench::run(state, "pixelize", [=](seqfx::Plugin &p) {
    p.set_value("Width:", side);
    p.set_value("Height:", side);
  });
}
BENCHMARK(BM_pixelize)->Arg(2)->Arg(32)->Unit(benchmark::kMillisecond);
