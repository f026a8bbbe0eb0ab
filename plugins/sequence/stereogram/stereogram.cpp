// stereogram: replaces a rendered frame by a single-image random-dot
// stereogram of its depth plane, with optional hint spots at the bottom to
// help the eyes focus and a debug view of the depth itself.

#include "seqfx_module.h"

#include "stereogram.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

using namespace stereogram_impl;
using seqfx_module::pixel_count;

// One 4-byte slot per table row.
struct Params {
  int label;
  int pattern_width;  // P, dots per pattern row
  float low;          // separation of the farthest depth, x P
  float high;         // separation of the nearest depth, x P
  int fast;
  int interpolate;
  int hint_spots;
  int hint_size;
  int same_pattern;   // reseed the generator on every frame
  int show_zbuf;
};

int within(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// A factor limited to 0.5..1; not a number counts as 0.5.
float divergence(float v) {
  if (!(v > 0.5f)) return 0.5f;
  return v > 1.0f ? 1.0f : v;
}

Settings settings_of(const Params &p) {
  return {within(p.pattern_width, 0, kMaxPatternWidth), divergence(p.low), divergence(p.high),
          p.fast != 0, p.interpolate != 0, p.show_zbuf != 0};
}

// Two white spots S wide, one pattern width apart, centred on the frame,
// over the bottom S rows, which are otherwise transparent black. Spots and
// rows outside the frame (or past the limit) are left out.
void hint_spots(unsigned char *out, int width, int height, long limit, int p, int size) {
  if (size <= 0 || width <= 0) return;
  std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[4 * (size_t)width]());
  if (!row) return;
  const long x0 = (long)(width / 2) - p / 2 - size / 2;
  for (long start : {x0, x0 + p})
    for (long x = start < 0 ? 0 : start; x < start + size && x < width; ++x)
      std::memset(row.get() + 4 * x, 255, 4);
  const int rows = size < height ? size : height;
  for (int y = 0; y < rows; ++y) {
    const long avail = limit - (long)y * width;
    if (avail <= 0) break;
    std::memcpy(out + 4 * (long)y * width, row.get(), 4 * (size_t)(avail < width ? avail : width));
  }
}

}  // namespace

extern "C" {
SEQFX_DATA float cfra;
}
static const char kDisplayName[] = "Stereogram";
SEQFX_TABLE(varstr,
    SEQFX_LABEL("In: 1 Strip"),
    SEQFX_FIELD(pattern_width, PLUGIN_CODE_NUMBER_INT, "Width", 64, 0, 1024, "Random-dot pattern width"),
    SEQFX_FIELD(low, PLUGIN_CODE_SLIDER_FLOAT, "Low", 1, 0.5f, 1, "Distant divergence factor"),
    SEQFX_FIELD(high, PLUGIN_CODE_SLIDER_FLOAT, "High", 0.8f, 0.5f, 1, "Close divergence factor"),
    SEQFX_FIELD(fast, PLUGIN_CODE_TOGGLE, "Fast mode", 0, 0, 1,
                "Uses faster (but lower quality) algorithm"),
    SEQFX_FIELD(interpolate, PLUGIN_CODE_TOGGLE, "Interpolate", 0, 0, 1,
                "Is supposed to increase quality of pic (but doesn't yet)"),
    SEQFX_FIELD(hint_spots, PLUGIN_CODE_TOGGLE, "Hint spots", 1, 0, 1,
                "Adds dots to the bottom of image to assist with focus"),
    SEQFX_FIELD(hint_size, PLUGIN_CODE_NUMBER_INT, "Hint size", 8, 1, 1024,
                "Sets the size of the hint spots"),
    SEQFX_FIELD(same_pattern, PLUGIN_CODE_TOGGLE, "Same pattern", 0, 0, 1,
                "Always uses the same pattern"),
    SEQFX_FIELD(show_zbuf, PLUGIN_CODE_TOGGLE, "Show ZBuf", 0, 0, 1, "Display depth field of image"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  const Settings s = settings_of(*p);
  // Frame sides past what an image record can describe are cut to it.
  const int w = within(width, 0, kMaxSide), h = within(height, 0, kMaxSide);

  if (p->same_pattern) std::srand(0);
  // The pattern is drawn before the inputs are checked: a frame that fails
  // still moves the generator on.
  if (!ibuf1 || !ibuf1->zbuf) {
    skip_rows(s.pattern_width, h);
    std::printf(!ibuf1 ? "Not linked to a buffer!\n"
                       : "No zBuffer!\nMust link to a scene or IRIZ picture\n");
    return;
  }

  // The frame's pixels, but no more than the depth plane and out hold.
  long limit = (long)w * h;
  if (pixel_count(ibuf1) < limit) limit = pixel_count(ibuf1);
  if (!out || !out->rect) limit = 0;
  else if (pixel_count(out) < limit) limit = pixel_count(out);

  unsigned char *dst = limit > 0 ? out->rect : nullptr;
  if (!DoStereogram(ibuf1->zbuf, dst, w, h, limit, s)) return;
  if (p->hint_spots && limit > 0) hint_spots(dst, w, h, limit, s.pattern_width, p->hint_size);
}

SEQFX_STANDARD_ENTRIES(kDisplayName, varstr, cfra, plugin_seq_doit)
