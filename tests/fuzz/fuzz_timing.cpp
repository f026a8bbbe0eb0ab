#include "fuzz_timing.h"

#include "fuzz_draw.h"
#include "fuzz_watch.h"
#include "seqfx/facts.h"
#include "seqfx/texture.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <vector>

namespace seqfx_fuzz {

namespace {

// The processor time this process has used, in milliseconds: unlike the
// time on the clock it does not grow when other programs share the machine,
// so that figures taken on a busy machine still compare.
double cpu_ms() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

struct Frame {
  std::vector<std::unique_ptr<seqfx::Image>> inputs;
  std::unique_ptr<seqfx::Image> out;
};

// A picture with gradients, edges and noise, a depth ramp and float pixels.
std::unique_ptr<seqfx::Image> picture(int w, int h, int k, bool with_float) {
  auto img = std::make_unique<seqfx::Image>(w, h);
  Rng rng(7, (std::uint64_t)k);
  int *z = img->add_zbuf();
  float *fb = with_float ? img->add_floatbuf() : nullptr;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t i = (std::size_t)y * w + x;
      unsigned char *p = img->rect() + 4 * i;
      p[0] = (unsigned char)(x * 255 / std::max(1, w - 1));
      p[1] = (unsigned char)(y * 255 / std::max(1, h - 1));
      p[2] = ((x / 16 + y / 16 + k) & 1) ? 230 : 20;
      p[3] = (unsigned char)rng.bits();
      z[i] = (int)((double)(x + y) / (w + h) * 2e9) - 1000000000;
      if (fb)
        for (int c = 0; c < 4; ++c) fb[4 * i + c] = p[c] / 255.0f;
    }
  return img;
}

Frame full_frame(const seqfx::ModuleFacts &facts, int w, int h) {
  Frame f;
  for (int k = 0; k < facts.strips_accepted && k < 3; ++k) f.inputs.push_back(picture(w, h, k, facts.uses_float));
  f.out = std::make_unique<seqfx::Image>(w, h);
  if (facts.uses_float) f.out->add_floatbuf();
  return f;
}

double time_call(seqfx::Plugin &plugin, Frame &f, int w, int h, double limit_s, const std::string &what) {
  ImageBuffer *in[3] = {nullptr, nullptr, nullptr};
  for (std::size_t k = 0; k < f.inputs.size(); ++k) in[k] = f.inputs[k]->record();
  arm(limit_s, what.c_str());
  const double t0 = cpu_ms();
  plugin.call(1, 0.5f, 0.5f, w, h, in[0], in[1], f.out->record(), in[2]);
  const double ms = cpu_ms() - t0;
  disarm();
  if (int *z = f.out->record()->zbuf)
    if (!f.out->owns_zbuf()) {
      bool borrowed = false;
      for (auto &img : f.inputs)
        if (img->zbuf() == z || (void *)img->rect() == (void *)z || (void *)img->floatbuf() == (void *)z)
          borrowed = true;
      if (borrowed) f.out->record()->zbuf = nullptr;
      else f.out->adopt_module_zbuf();
    }
  return ms;
}

// Values a host may leave in a row's slot, beyond the widget's reach.
std::vector<std::uint32_t> hostile_values(const ParamDescriptor &r) {
  std::vector<std::uint32_t> v;
  auto add_float = [&](float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    v.push_back(b);
  };
  auto add_int = [&](std::int64_t i) { v.push_back((std::uint32_t)(std::int32_t)std::max<std::int64_t>(INT_MIN, std::min<std::int64_t>(INT_MAX, i))); };
  const double lo = std::isfinite(r.min) ? r.min : 0, hi = std::isfinite(r.max) ? r.max : 0;
  if (seqfx::row_type(r) == PLUGIN_FLOAT) {
    for (double d : {lo, hi, lo - 1, hi + 1, hi * 10 + 10, lo - (hi - lo) * 10 - 10})
      add_float((float)d);
    for (float f : {FLT_MAX, -FLT_MAX, 1e30f, -3e6f, std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()})
      add_float(f);
  } else {
    for (double d : {lo, hi, lo - 1, hi + 1, hi * 10 + 10}) add_int((std::int64_t)d);
    for (std::int64_t i : {(std::int64_t)INT_MAX, (std::int64_t)INT_MIN, (std::int64_t)65536, (std::int64_t)-65536})
      add_int(i);
  }
  v.push_back(0xDEADBEEFu);
  v.push_back(0x7F7F7F7Fu);
  return v;
}

}  // namespace

int check_timing(const std::string &path, const TimingLimits &limits) {
  std::unique_ptr<seqfx::Plugin> plugin = seqfx::Plugin::load(path);
  const std::string name = plugin->module_name();
  set_current_text(("cost check of " + name).c_str());
  const seqfx::ModuleFacts facts = seqfx::module_facts(*plugin);
  const int w = limits.width, h = limits.height;
  Frame frame = full_frame(facts, w, h);

  // The default time: the best of three, after a first warming call.
  time_call(*plugin, frame, w, h, 600, "the default frame");
  double base = 1e300;
  for (int i = 0; i < 3; ++i) base = std::min(base, time_call(*plugin, frame, w, h, 600, "the default frame"));
  const double allowed = std::max(base * limits.factor, limits.floor_ms);
  report("      %-12s default %.1f ms, allowed %.1f ms\n", name.c_str(), base, allowed);
  // A call may overrun its budget by a little before it counts; far beyond
  // it the watchdog stops the process.
  const double stop_s = allowed * 20 / 1000 + 5;

  int slow = 0;
  double worst = 0;
  std::string worst_what = "defaults";
  // Each case is the better of two calls, as the default is: the first call
  // down a path the defaults never took pays for its memory's first touch
  // (tens of milliseconds for a frame-sized buffer), which is not the cost
  // of the values.
  auto check = [&](const std::string &what) {
    const std::string label = name + " with " + what;
    const double ms = std::min(time_call(*plugin, frame, w, h, stop_s, label.c_str()),
                               time_call(*plugin, frame, w, h, stop_s, label.c_str()));
    if (ms > worst) {
      worst = ms;
      worst_what = what;
    }
    if (ms > allowed) {
      report("SLOW %s with %s: %.1f ms, %.1fx the default\n", name.c_str(), what.c_str(), ms, ms / base);
      ++slow;
    }
  };
  const PluginDescription &d = plugin->description();
  for (int row = 0; row < plugin->row_count(); ++row) {
    const ParamDescriptor &r = plugin->row(row);
    const int kind = seqfx::row_kind(r);
    if (kind == PLUGIN_LABEL || kind == PLUGIN_TEXT || kind == PLUGIN_COLOUR) continue;
    for (std::uint32_t bits : hostile_values(r)) {
      plugin->reset_defaults();
      std::memcpy(plugin->slot(row), &bits, 4);
      if (d.but_changed) d.but_changed(row);
      char what[160];
      float f;
      std::memcpy(&f, &bits, 4);
      if (seqfx::row_type(r) == PLUGIN_FLOAT)
        std::snprintf(what, sizeof what, "\"%s\" = %g", seqfx::row_key(r).c_str(), (double)f);
      else
        std::snprintf(what, sizeof what, "\"%s\" = %d", seqfx::row_key(r).c_str(), (int)bits);
      check(what);
    }
  }
  // Rows drawn wild together.
  for (int i = 0; i < 8; ++i) {
    Rng rng(99, (std::uint64_t)i);
    plugin->reset_defaults();
    draw_slots(rng, *plugin, 60);
    check("wild slots draw " + std::to_string(i) + " (seed 99)");
  }
  // One line per module for the table in the docs.
  report("COST %-12s default %.1f ms, worst %.1f ms (%.1fx) with %s\n", name.c_str(), base,
         std::max(worst, base), std::max(worst, base) / base, worst_what.c_str());
  return slow;
}

}  // namespace seqfx_fuzz
