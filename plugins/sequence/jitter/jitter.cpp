// jitter: shakes the picture of one strip. Each frame is shifted by one
// random offset, up to Xstep columns and Ystep rows either way, drawn from
// the generator seeded with the seed plus the frame number, so a frame
// always gets the same offset. Uncovered areas are transparent black, or
// ("wrap") filled by wrapping the picture round.

#include "random_seed.h"
#include "saturate.h"
#include "seqfx_module.h"
#include "stable_source.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
SEQFX_DATA char name[24] = "Jitter";
SEQFX_DATA float cfra;
}

namespace {

// One 4-byte slot per table row. Toggles count as on only when they hold
// exactly 1.
struct Params {
  int label_in;
  int random;        // row 1: "Random jitter"
  float seed;        // row 2
  int xstep, ystep;  // rows 3, 4: largest offsets
  int spacer;        // row 5: label
  int wrap;          // row 6
  int ipo;           // row 7: "Use IPO Curves"
};

// The generator's values, 0..32767 on every platform.
inline int draw() { return std::rand() % 32768; }

// Offsets and positions are 64-bit: a step may be as large as an int holds.
typedef std::int64_t Pos;

// Wrapping gives up on a position that needs more correcting passes than
// this (one pass moves it by one frame size in each direction): such a
// pixel is transparent black.
constexpr Pos kMostPasses = 100;

struct Offset {
  Pos x = 0, y = 0;
};

// Every pixel of a frame is seeded alike and so draws the same numbers: the
// horizontal offset first, then the vertical one, each from -step to
// step - 1. The generator is seeded and drawn once per frame, which leaves it
// in the state seeding it per pixel would.
//
// With "Use IPO Curves" the effect factor (limited to 0..1) scales the
// offset: the frame is still at factor 0 and shakes fully at 1, so the
// shake can be faded in and out along the strip.
Offset frame_offset(const Params &p, float factor0) {
  Offset o;
  if (p.random != 1) return o;
  std::srand(seqfx_common::seed_from(p.seed + cfra));
  if (p.xstep > 0) o.x = draw() % (2 * (Pos)p.xstep) - p.xstep;
  if (p.ystep > 0) o.y = draw() % (2 * (Pos)p.ystep) - p.ystep;
  if (p.ipo == 1) {
    const float f = seqfx_module::unit(factor0);
    o.x = seqfx_common::trunc_int((float)o.x * f);
    o.y = seqfx_common::trunc_int((float)o.y * f);
  }
  return o;
}

// The source of output position v shifted by d along a side of n pixels
// (the frame), and the input's extent `have` along it: the source position,
// or -1 for none.
Pos source_of(Pos v, Pos d, Pos n, Pos have, bool wrap) {
  Pos s = v + d;
  if (s < 0 || s >= n) {
    if (!wrap) return -1;
    const Pos passes = s < 0 ? (-s + n - 1) / n : s / n;
    if (passes > kMostPasses) return -1;
    s = ((s % n) + n) % n;
  }
  return s < have ? s : -1;
}

}  // namespace

SEQFX_TABLE(varstr,
    SEQFX_LABEL("In: 1 strip"),
    SEQFX_FIELD(random, PLUGIN_CODE_TOGGLE, "Random jitter", 1, 0, 1, "Do you want Random Jitter?"),
    SEQFX_FIELD(seed, PLUGIN_CODE_SLIDER_FLOAT, "Seed", 0, -1, 1, "Random seed"),
    SEQFX_FIELD(xstep, PLUGIN_CODE_NUMBER_INT, "Xstep", 0, 0, 1000, "Max X offset"),
    SEQFX_FIELD(ystep, PLUGIN_CODE_NUMBER_INT, "Ystep", 10, 0, 1000, "Max Y offset"),
    SEQFX_LABEL(""),
    SEQFX_FIELD(wrap, PLUGIN_CODE_TOGGLE, "wrap", 0, 0, 1, "Do you want image wrap?"),
    SEQFX_FIELD(ipo, PLUGIN_CODE_TOGGLE, "Use IPO Curves", 0, 0, 1, "For (Ipo) animated blur"));

// Positions are taken in the frame (width x height). Frame positions
// outside `out` are not written; source positions inside the frame but
// outside a smaller input give transparent black.
SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect || width <= 0 || height <= 0) return;
  const Params *p = static_cast<const Params *>(params);
  const Offset d = frame_offset(*p, factor0);
  const bool wrap = p->wrap == 1;
  const long cols = width < out->xsize ? width : out->xsize;
  const long rows = height < out->ysize ? height : out->ysize;
  if (cols <= 0 || rows <= 0) return;

  seqfx_common::StableSource source(ibuf1, out, "Jitter");
  const unsigned char *src = source.pixels();
  if (!src) return;
  const long sw = ibuf1->xsize > 0 ? ibuf1->xsize : 0, sh = ibuf1->ysize > 0 ? ibuf1->ysize : 0;

  // The shift is the same for every pixel, so a source splits into a
  // column and a row part, and every output row is made of the same runs
  // of consecutive source columns: clear, picture and clear without
  // wrapping, the pieces of the repeated picture with it.
  struct Run {
    long x, len, from;  // from: the first source column, or -1 for clear
  };
  std::vector<Run> runs;
  for (long x = 0; x < cols; ++x) {
    const long c = source_of(x, d.x, width, sw, wrap);
    Run *last = runs.empty() ? nullptr : &runs.back();
    if (last && ((c < 0 && last->from < 0) || (c >= 0 && last->from >= 0 && c == last->from + last->len)))
      ++last->len;
    else
      runs.push_back({x, 1, c});
  }
  for (long y = 0; y < rows; ++y) {
    unsigned char *to = out->rect + 4 * y * out->xsize;
    const long r = source_of(y, d.y, height, sh, wrap);
    if (r < 0) {
      std::memset(to, 0, 4 * (size_t)cols);
      continue;
    }
    const unsigned char *from = src + 4 * r * sw;
    for (const Run &run : runs) {
      if (run.from < 0)
        std::memset(to + 4 * run.x, 0, 4 * (size_t)run.len);
      else
        std::memcpy(to + 4 * run.x, from + 4 * run.from, 4 * (size_t)run.len);
    }
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
