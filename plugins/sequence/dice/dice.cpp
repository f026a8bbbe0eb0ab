// dice: cuts the picture of one strip into a grid of blocks ("cubes") and
// shows each block unchanged, turned by 180 degrees, flipped vertically or
// flipped horizontally, the choice drawn at random per block. The draws are
// seeded on every call, so a frame's pattern depends only on the seed (and,
// with "Animate", the frame number).

#include "random_seed.h"
#include "saturate.h"
#include "seqfx_module.h"
#include "stable_source.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// One 4-byte slot per table row.
struct Params {
  int label_in;
  int size_x, size_y;  // rows 1, 2: block size in pixels
  float seed;          // row 3
  int animate;         // row 4: the seed adds the frame number
  int grow;            // row 5: the block size follows factor0
};

// The generator's values, 0..32767 on every platform.
inline int draw() { return std::rand() % 32768; }

enum Direction { kUnchanged = 0, kHalfTurn = 1, kFlipVertical = 2, kFlipHorizontal = 3 };

// A block size: below 1 becomes 1. Larger than the frame is kept, since
// blocks always run their full size and wrap round the frame.
int block_side(int size, float factor0, bool grow) {
  const int s = grow ? seqfx_common::trunc_int(std::floor(factor0 * (float)size)) : size;
  return s < 1 ? 1 : s;
}

// The frame, the output cut to it and the input.
// Block positions and sizes are 64-bit: a block may be as large as an int
// holds, and its far corner lies beyond that.
typedef std::int64_t Pos;

struct Frame {
  Pos w, h;                 // frame size: block positions wrap round it
  unsigned char *dst;
  Pos dst_w, cols, rows;    // out's row length and the part of the frame it holds
  const unsigned char *src;
  Pos src_w, src_h;         // the input's own size
};

// One block of bw x bh at (bx, by) in the given direction. Every position
// wraps round the frame, for the output as for the source. A block longer
// than the frame writes some output positions more than once, and the last
// write (the largest j, the largest i) is the one that stays, so only the
// last w columns and h rows of such a block are copied.
void copy_block(const Frame &f, Pos bx, Pos by, Pos bw, Pos bh, int dir) {
  static const unsigned char clear[4] = {0, 0, 0, 0};
  const bool rev_x = dir == kHalfTurn || dir == kFlipHorizontal;
  const bool rev_y = dir == kHalfTurn || dir == kFlipVertical;
  const Pos j0 = bw > f.w ? bw - f.w : 0, i0 = bh > f.h ? bh - f.h : 0;
  for (Pos i = i0; i < bh; ++i) {
    const Pos y = (by + i) % f.h;
    if (y >= f.rows) continue;
    const Pos sy = (by + (rev_y ? bh - 1 - i : i)) % f.h;
    const unsigned char *src_row = sy < f.src_h ? f.src + 4 * sy * f.src_w : nullptr;
    unsigned char *dst_row = f.dst + 4 * y * f.dst_w;
    Pos x = (bx + j0) % f.w;
    Pos sx = (bx + (rev_x ? bw - 1 - j0 : j0)) % f.w;
    for (Pos j = j0; j < bw; ++j) {
      if (x < f.cols)
        std::memcpy(dst_row + 4 * x, src_row && sx < f.src_w ? src_row + 4 * sx : clear, 4);
      if (++x == f.w) x = 0;
      if (rev_x)
        sx = sx == 0 ? f.w - 1 : sx - 1;
      else if (++sx == f.w)
        sx = 0;
    }
  }
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Dice";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("In: 1 strip"),
    SEQFX_FIELD(size_x, PLUGIN_CODE_NUMBER_INT, "Cube SizeX", 15, 1, 2000, "Width"),
    SEQFX_FIELD(size_y, PLUGIN_CODE_NUMBER_INT, "Cube SizeY", 15, 1, 2000, "Height"),
    SEQFX_FIELD(seed, PLUGIN_CODE_NUMBER_FLOAT, "Seed", 0, 0, 1, ""),
    SEQFX_FIELD(animate, PLUGIN_CODE_NUMBER_INT, "Animate", 0, 0, 1, "Change Dir by frame"),
    SEQFX_FIELD(grow, PLUGIN_CODE_NUMBER_INT, "Grow", 0, 0, 1, "Make cubes grow"));

// Blocks are laid over the frame (width x height). Frame positions outside
// `out` are not written; source positions outside a smaller input give
// transparent black.
SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect || width <= 0 || height <= 0) return;
  const Params *p = static_cast<const Params *>(params);
  const bool grow = p->grow != 0;
  const Pos bw = block_side(p->size_x, factor0, grow);
  const Pos bh = block_side(p->size_y, factor0, grow);
  std::srand(seqfx_common::seed_from(p->animate ? p->seed + cfra : p->seed));

  seqfx_common::StableSource source(ibuf1, out, "Dice");
  if (!source.pixels()) return;
  Frame f{width, height, out->rect, out->xsize, 0, 0, source.pixels(),
          ibuf1->xsize > 0 ? ibuf1->xsize : 0, ibuf1->ysize > 0 ? ibuf1->ysize : 0};
  f.cols = width < out->xsize ? width : out->xsize;
  f.rows = height < out->ysize ? height : out->ysize;
  if (f.cols <= 0 || f.rows <= 0) return;

  for (Pos by = 0; by < f.h; by += bh)
    for (Pos bx = 0; bx < f.w; bx += bw) copy_block(f, bx, by, bw, bh, draw() % 4);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
