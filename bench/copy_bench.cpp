// The floor every module is measured against: one plain copy of a frame.
#include "bench_support.h"

#include <cstring>

static void BM_copy_frame(benchmark::State &state) {
  seqfx::Image a = seqfx_bench::picture();
  seqfx::Image out(seqfx_bench::kWidth, seqfx_bench::kHeight);
  for (auto _ : state) {
    std::memcpy(out.rect(), a.rect(), a.pixels() * 4);
    benchmark::DoNotOptimize(out.rect());
  }
}
BENCHMARK(BM_copy_frame)->Unit(benchmark::kMillisecond);
