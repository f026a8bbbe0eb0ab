// What the frei0r bridge adds to a module: seqfx_invert.so driven through
// its frei0r entries at full HD, beside BM_invert_defaults (the module
// alone) and BM_copy_frame. The difference is the rows flipped in and out
// and the cleared output.
#include "bench_support.h"

#include <dlfcn.h>

extern "C" {
#include <frei0r.h>
}

#include <string>

static void BM_frei0r_invert_defaults(benchmark::State &state) {
  const std::string path = std::string(SEQFX_PLUGIN_DIR) + "/../frei0r-1/seqfx_invert.so";
  void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    state.SkipWithError(dlerror());
    return;
  }
  auto init = reinterpret_cast<int (*)()>(dlsym(h, "f0r_init"));
  auto deinit = reinterpret_cast<void (*)()>(dlsym(h, "f0r_deinit"));
  auto construct = reinterpret_cast<f0r_instance_t (*)(unsigned, unsigned)>(dlsym(h, "f0r_construct"));
  auto destruct = reinterpret_cast<void (*)(f0r_instance_t)>(dlsym(h, "f0r_destruct"));
  auto update = reinterpret_cast<void (*)(f0r_instance_t, double, const uint32_t *, uint32_t *)>(
      dlsym(h, "f0r_update"));
  f0r_instance_t inst = init && init() ? construct(seqfx_bench::kWidth, seqfx_bench::kHeight) : nullptr;
  if (!inst) {
    state.SkipWithError("seqfx_invert.so cannot start");
    return;
  }
  seqfx::Image in = seqfx_bench::picture();
  seqfx::Image out(seqfx_bench::kWidth, seqfx_bench::kHeight);
  double t = 0;
  for (auto _ : state) {
    update(inst, t, reinterpret_cast<const uint32_t *>(in.rect()), reinterpret_cast<uint32_t *>(out.rect()));
    t += 0.04;
    benchmark::DoNotOptimize(out.rect());
  }
  destruct(inst);
  deinit();
  dlclose(h);
}
BENCHMARK(BM_frei0r_invert_defaults)->Unit(benchmark::kMillisecond);
