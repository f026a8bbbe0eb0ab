// backdropkey at full HD: the byte path with the defaults, the DV filter
// alone and with the widest edge blur, and the float path. The console is silenced
// (info 0) so that the frames measure the keying, not the terminal.
#include "bench_support.h"

namespace {

enum Row { kDv = 1, kEdge = 9, kRadius = 11, kInfo = 12, kSpill = 13, kFactor = 14 };

void quiet(seqfx::Plugin &p) { p.set_value(kInfo, 0); }

void BM_backdropkey_defaults(benchmark::State &state) {
  seqfx_bench::run(state, "backdropkey", quiet);
}

// The DV chroma filter alone, against the defaults.
void BM_backdropkey_dv(benchmark::State &state) {
  seqfx_bench::run(state, "backdropkey", [](seqfx::Plugin &p) {
    quiet(p);
    p.set_value(kDv, 1);
  });
}

void BM_backdropkey_dv_edge_blur5(benchmark::State &state) {
  seqfx_bench::run(state, "backdropkey", [](seqfx::Plugin &p) {
    quiet(p);
    p.set_value(kDv, 1);
    p.set_value(kEdge, 1);
    p.set_value(kRadius, 5);
  });
}

void BM_backdropkey_spill_plus(benchmark::State &state) {
  seqfx_bench::run(state, "backdropkey", [](seqfx::Plugin &p) {
    quiet(p);
    p.set_value(kSpill, 2);
    p.set_value(kFactor, 0.5);
  });
}

// The float path: input and output carry float planes.
void BM_backdropkey_float(benchmark::State &state) {
  auto p = seqfx_bench::load("backdropkey");
  quiet(*p);
  seqfx::Image in = seqfx_bench::picture();
  float *f = in.add_floatbuf();
  for (std::size_t i = 0; i < in.pixels() * 4; ++i) f[i] = in.rect()[i] / 255.0f;
  seqfx::Image out(seqfx_bench::kWidth, seqfx_bench::kHeight, false);
  out.add_floatbuf();
  float frame = 1;
  for (auto _ : state) {
    p->render(frame, 0, 0, in, nullptr, out);
    benchmark::DoNotOptimize(out.floatbuf());
    frame += 1;
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)in.pixels());
}

}  // namespace

BENCHMARK(BM_backdropkey_defaults)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_backdropkey_dv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_backdropkey_dv_edge_blur5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_backdropkey_spill_plus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_backdropkey_float)->Unit(benchmark::kMillisecond);
