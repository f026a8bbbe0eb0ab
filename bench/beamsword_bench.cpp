#include "bench_support.h"

// The defaults with a coloured aura (the default black aura adds nothing).
static void BM_beamsword_defaults_red(benchmark::State &state) {
  seqfx_bench::run(state, "beamsword", [](seqfx::Plugin &p) { p.set_colour(1, 255, 40, 20); });
}
BENCHMARK(BM_beamsword_defaults_red)->Unit(benchmark::kMillisecond);

// The same on a picture whose every other pixel is black: no blur window is
// flat, so every tap is summed.
static void BM_beamsword_defaults_red_dotted(benchmark::State &state) {
  auto p = seqfx_bench::load("beamsword");
  p->set_colour(1, 255, 40, 20);
  seqfx::Image in = seqfx_bench::picture();
  for (int y = 0; y < seqfx_bench::kHeight; ++y)
    for (int x = (y & 1); x < seqfx_bench::kWidth; x += 2) {
      unsigned char *px = in.pixel(x, y);
      px[0] = px[1] = px[2] = 0;
    }
  seqfx::Image out(seqfx_bench::kWidth, seqfx_bench::kHeight);
  for (auto _ : state) {
    p->render(1, 0.5f, 0.5f, in, nullptr, out);
    benchmark::DoNotOptimize(out.rect());
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)seqfx_bench::kWidth * seqfx_bench::kHeight);
}
BENCHMARK(BM_beamsword_defaults_red_dotted)->Unit(benchmark::kMillisecond);
