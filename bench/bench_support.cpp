#include "bench_support.h"

#include <cmath>

namespace seqfx_bench {

std::unique_ptr<seqfx::Plugin> load(const std::string &module) {
  return seqfx::Plugin::load(std::string(SEQFX_PLUGIN_DIR) + "/" + module + ".so");
}

seqfx::Image picture(unsigned seed, bool with_depth) {
  seqfx::Image img(kWidth, kHeight);
  unsigned state = seed * 2654435761u + 1u;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      state = state * 1103515245u + 12345u;
      unsigned char *p = img.pixel(x, y);
      const double dx = x - kWidth * 0.6, dy = y - kHeight * 0.4;
      const bool disc = dx * dx + dy * dy < 200.0 * 200.0;
      p[0] = (unsigned char)(x * 255 / (kWidth - 1));
      p[1] = disc ? 250 : (unsigned char)(y * 255 / (kHeight - 1));
      p[2] = ((x / 64 + y / 64) & 1) ? 220 : (unsigned char)((state >> 16) & 0xFF);
      p[3] = 255;
    }
  if (with_depth) {
    int *z = img.add_zbuf();
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        z[(size_t)y * kWidth + x] = (int)std::lround(-2147483000.0 + 4294966000.0 * x / (kWidth - 1));
  }
  return img;
}

void run(benchmark::State &state, const std::string &module,
         const std::function<void(seqfx::Plugin &)> &setup, int strips, bool with_depth) {
  auto p = load(module);
  if (setup) setup(*p);
  seqfx::Image a = picture(1, with_depth);
  seqfx::Image b = picture(2, with_depth);
  seqfx::Image c = picture(3, with_depth);
  seqfx::Image out(kWidth, kHeight);
  float frame = 1;
  for (auto _ : state) {
    p->render(frame, 0.5f, 0.5f, a, strips > 1 ? &b : nullptr, out, strips > 2 ? &c : nullptr);
    benchmark::DoNotOptimize(out.rect());
    frame += 1;
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)kWidth * kHeight);
}

}  // namespace seqfx_bench
