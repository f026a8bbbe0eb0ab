#include "fuzz_case.h"

#include "fuzz_draw.h"
#include "fuzz_watch.h"
#include "seqfx/facts.h"
#include "seqfx/texture.h"
#include "seqfx_alloc.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace seqfx_fuzz {

namespace {

using seqfx::Image;

// The planes of every image of one call, as they were before the call.
struct Planes {
  Image *img;
  unsigned char *rect;
  int *zbuf;
  float *floatbuf;
};

bool is_known_plane(const std::vector<Planes> &all, const void *p) {
  for (const Planes &q : all)
    if (p == q.rect || p == q.zbuf || p == q.floatbuf) return true;
  return false;
}

// Puts every record back in a state the host can free: a depth plane a
// module attached is adopted, a pointer to some image's plane is undone.
// Returns false when a module replaced a pixel or float plane.
bool settle_planes(const std::vector<Planes> &all) {
  bool ok = true;
  for (const Planes &q : all) {
    ImageBuffer *r = q.img->record();
    if (r->rect != q.rect || r->floatbuf != q.floatbuf) {
      ok = false;
      r->rect = q.rect;
      r->floatbuf = q.floatbuf;
    }
    if (r->zbuf == q.zbuf) continue;
    if (!r->zbuf || is_known_plane(all, r->zbuf)) r->zbuf = q.zbuf;
    else q.img->adopt_module_zbuf();
  }
  return ok;
}

long first_non_finite(const ImageBuffer *r) {
  if (!r->floatbuf) return -1;
  const long n = 4L * (r->xsize > 0 ? r->xsize : 0) * (r->ysize > 0 ? r->ysize : 0);
  for (long i = 0; i < n; ++i)
    if (!std::isfinite(r->floatbuf[i])) return i;
  return -1;
}

float wild_coordinate(Rng &rng) {
  switch (rng.below(12)) {
    case 0: return NAN;
    case 1: return INFINITY;
    case 2: return -INFINITY;
    case 3: return 1e30f;
    case 4: return -1e30f;
    default: return (float)(rng.unit() * 2.4 - 1.2);
  }
}

// The texture role of the same instance: shades a few points between frames,
// so that what it records reaches the next sequence frame.
void shade_points(Rng &rng, seqfx::Texture &tex, int wild, double seconds) {
  draw_slots(rng, tex.plugin(), wild);
  const int n = tex.subtype_count();
  if (n <= 0) return;
  const int points = rng.between(1, 300);
  arm(seconds, "the texture entry");
  for (int i = 0; i < points; ++i) {
    const bool odd = rng.chance(10);
    const float x = odd ? wild_coordinate(rng) : (float)(rng.unit() * 2 - 1);
    const float y = odd ? wild_coordinate(rng) : (float)(rng.unit() * 2 - 1);
    const float alpha = rng.chance(5) ? wild_coordinate(rng) : (float)rng.unit();
    tex.shade(rng.below(n), x, y, (float)(rng.unit() - 0.5), alpha);
  }
  disarm();
}

// The slots as the call saw them, for a failure report.
std::string slot_dump(const seqfx::Plugin &plugin) {
  std::string text;
  for (int i = 0; i < plugin.row_count(); ++i) {
    const ParamDescriptor &r = plugin.row(i);
    const int kind = seqfx::row_kind(r);
    if (kind == PLUGIN_LABEL || kind == PLUGIN_TEXT) continue;
    char item[96];
    if (seqfx::row_type(r) == PLUGIN_FLOAT && kind != PLUGIN_COLOUR)
      std::snprintf(item, sizeof item, " \"%s\"=%g", seqfx::row_key(r).c_str(), (double)plugin.float_slot(i));
    else
      std::snprintf(item, sizeof item, " \"%s\"=0x%08x", seqfx::row_key(r).c_str(), (unsigned)plugin.int_slot(i));
    text += item;
  }
  return text;
}

}  // namespace

int run_case(const std::string &path, unsigned long long seed, long case_no, const CaseLimits &limits) {
  Rng rng(seed, (std::uint64_t)case_no);
  std::srand((unsigned)rng.bits());
  set_current_case(path.c_str(), seed, case_no, 0);
  std::unique_ptr<seqfx::Plugin> plugin = seqfx::Plugin::load(path);
  const std::string name = plugin->module_name();
  set_current_case(name.c_str(), seed, case_no, 0);
  const seqfx::ModuleFacts facts = seqfx::module_facts(*plugin);
  std::unique_ptr<seqfx::Texture> tex;
  if (facts.entry == seqfx::EntryStyle::Texture) tex = seqfx::Texture::beside(*plugin);

  static const int kWild[] = {0, 0, 10, 25, 25, 50, 100};
  const int wild = kWild[rng.below(7)];
  draw_slots(rng, *plugin, wild);

  int failures = 0;
  int w = 0, h = 0;
  draw_frame_size(rng, w, h);
  const int calls = rng.between(1, 5);
  for (int call = 1; call <= calls; ++call) {
    set_current_case(name.c_str(), seed, case_no, call);
    if (call > 1 && rng.chance(70)) draw_frame_size(rng, w, h);
    if (call > 1 && rng.chance(30)) draw_slots(rng, *plugin, wild);
    if (tex && rng.chance(60)) shade_points(rng, *tex, wild, limits.call_seconds);

    // Inputs: present, missing or the same record as an earlier one; the
    // strips past the ones the module reads are mostly missing.
    std::vector<std::unique_ptr<Image>> images;
    ImageBuffer *in[3] = {nullptr, nullptr, nullptr};
    for (int k = 0; k < 3; ++k) {
      const bool read = k < facts.strips_accepted;
      const int r = rng.below(100);
      if (r < (read ? 8 : 80)) continue;
      if (k > 0 && r < (read ? 18 : 90)) {
        in[k] = in[rng.below(k)];
        continue;
      }
      images.push_back(draw_image(rng, w, h, facts.uses_float, facts.needs_depth && k == 0));
      in[k] = images.back()->record();
    }
    ImageBuffer *out = nullptr;
    if (rng.chance(8)) out = in[rng.below(3)];
    if (!out) {
      images.push_back(draw_image(rng, w, h, facts.uses_float, false));
      out = images.back()->record();
    }
    std::vector<Planes> planes;
    for (auto &img : images) planes.push_back({img.get(), img->rect(), img->zbuf(), img->floatbuf()});

    const int held = mallocN_blocks_held(nullptr);
    const float frame = draw_frame_number(rng);
    const float f0 = draw_factor(rng), f1 = rng.chance(50) ? f0 : draw_factor(rng);
    arm(limits.call_seconds, "the effect call");
    plugin->call(frame, f0, f1, w, h, in[0], in[1], out, in[2]);
    disarm();

    if (mallocN_blocks_held(nullptr) != held) {
      report("FAIL %s: %d tagged blocks held after the call, %d before\n", current_repro(),
             mallocN_blocks_held(nullptr), held);
      ++failures;
    }
    if (!settle_planes(planes)) {
      report("FAIL %s: the call replaced an image's pixel or float plane\n", current_repro());
      ++failures;
    }
    const long bad = first_non_finite(out);
    if (bad >= 0) {
      report("FAIL %s: non-finite float written to the output at element %ld; slots:%s\n", current_repro(), bad,
             slot_dump(*plugin).c_str());
      ++failures;
    }
  }
  tex.reset();
  plugin.reset();
  return failures;
}

}  // namespace seqfx_fuzz
