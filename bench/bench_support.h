// Shared set-up for the module benchmarks: load a built module as a host
// does and render full-HD frames with it.
#pragma once

#include "seqfx/plugin.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <string>

namespace seqfx_bench {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

std::unique_ptr<seqfx::Plugin> load(const std::string &module);

// A deterministic full-HD picture: gradients, a checker, soft discs and
// every byte value, with a depth plane running near (left) to far (right)
// when with_depth is set.
seqfx::Image picture(unsigned seed = 1, bool with_depth = false);

// Renders frames with the module until the benchmark has its timing.
// setup, when given, runs once after loading (to set parameters).
void run(benchmark::State &state, const std::string &module,
         const std::function<void(seqfx::Plugin &)> &setup = {}, int strips = 1,
         bool with_depth = false);

}  // namespace seqfx_bench
