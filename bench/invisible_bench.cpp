#include "bench_support.h"

#include <cmath>

// The harness strips differ in the blue noise of half the checker cells:
// a ragged region with border pixels everywhere.
static void BM_invisible_noise(benchmark::State &state) {
  seqfx_bench::run(state, "invisible", {}, 2);
}
BENCHMARK(BM_invisible_noise)->Unit(benchmark::kMillisecond);

// Defaults, a subject covering a third of the picture: a textured disc in
// front of an otherwise unchanged scene.
static void run_subject(benchmark::State &state, int radius) {
  using namespace seqfx_bench;
  auto p = load("invisible");
  p->set_value("Edge Radius", radius);
  seqfx::Image clean = picture(1);
  seqfx::Image shot = picture(1);
  const double r = std::sqrt(kWidth * (double)kHeight / 3.0 / 3.14159265358979);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const double dx = x - kWidth / 2.0, dy = y - kHeight / 2.0;
      if (dx * dx + dy * dy >= r * r) continue;
      unsigned char *px = shot.pixel(x, y);
      px[0] = (unsigned char)(255 - px[0]);
      px[1] = (unsigned char)((x * 7 + y * 3) & 255);
    }
  seqfx::Image out(kWidth, kHeight);
  for (auto _ : state) {
    p->render(1, 0, 0, shot, &clean, out);
    benchmark::DoNotOptimize(out.rect());
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)kWidth * kHeight);
}

static void BM_invisible_third(benchmark::State &state) { run_subject(state, 7); }
BENCHMARK(BM_invisible_third)->Unit(benchmark::kMillisecond);

static void BM_invisible_third_radius_200(benchmark::State &state) { run_subject(state, 200); }
BENCHMARK(BM_invisible_third_radius_200)->Unit(benchmark::kMillisecond);
