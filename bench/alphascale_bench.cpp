#include "bench_support.h"

// The harness picture is opaque: every pixel is copied.
static void BM_alphascale_opaque(benchmark::State &state) { seqfx_bench::run(state, "alphascale"); }
BENCHMARK(BM_alphascale_opaque)->Unit(benchmark::kMillisecond);

// Every pixel partly transparent with its colour at or below the alpha.
static void BM_alphascale_premultiplied(benchmark::State &state) {
  auto p = seqfx_bench::load("alphascale");
  seqfx::Image a = seqfx_bench::picture();
  for (int y = 0; y < seqfx_bench::kHeight; ++y)
    for (int x = 0; x < seqfx_bench::kWidth; ++x) {
      unsigned char *px = a.pixel(x, y);
      px[3] = (unsigned char)(1 + (x + y) % 254);
      for (int c = 0; c < 3; ++c) px[c] = (unsigned char)(px[c] * px[3] / 255);
    }
  seqfx::Image out(seqfx_bench::kWidth, seqfx_bench::kHeight);
  for (auto _ : state) {
    p->render(1, 0, 0, a, nullptr, out);
    benchmark::DoNotOptimize(out.rect());
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)seqfx_bench::kWidth * seqfx_bench::kHeight);
}
BENCHMARK(BM_alphascale_premultiplied)->Unit(benchmark::kMillisecond);

static void BM_alphascale_show_alpha(benchmark::State &state) {
  seqfx_bench::run(state, "alphascale", [](seqfx::Plugin &p) { p.set_value("Show alpha", 1); });
}
BENCHMARK(BM_alphascale_show_alpha)->Unit(benchmark::kMillisecond);
