#include "bench_support.h"

// All three lines on: time and frame stamp, the image name and a full text.
static void BM_overprint_all_lines(benchmark::State &state) {
  seqfx_bench::run(state, "overprint", [](seqfx::Plugin &p) {
    p.set_value("frame stamp", 1);
    p.set_value("time stamp", 1);
    p.set_value("stamp name", 1);
    p.set_value("stamp text", 1);
    p.set_text(p.find_row("Txt:"), "The quick brown fox jumps over the lazy dog 012345");
  });
}
BENCHMARK(BM_overprint_all_lines)->Unit(benchmark::kMillisecond);
