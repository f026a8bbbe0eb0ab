// afterglow: the screen slots and the texture entry that marks them.

#include "afterglow.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace afterglow_impl {

Screen screens[kScreenCount];

namespace {
// Every slot starts unsized, without a buffer; the buffers go with the
// module when it is unloaded.
struct Lifetime {
  Lifetime() {
    for (Screen &s : screens) s = {-1, -1, -1, -1.0, -1.0, nullptr};
  }
  ~Lifetime() {
    for (Screen &s : screens) {
      std::free(s.scr);
      s.scr = nullptr;
    }
  }
} lifetime;
}  // namespace

}  // namespace afterglow_impl

using namespace afterglow_impl;

namespace {

// Pixel row or column of a texture coordinate in -1..1: rounded to the
// nearest pixel corner. False when it lies beyond any frame.
bool screen_position(float t, double half, long long &pos) {
  const double p = std::trunc(((double)t + 1.0) * half + 0.5);
  if (!(p > -2147483648.0 && p < 2147483648.0)) return false;
  pos = (long long)p;
  return true;
}

}  // namespace

// Marks the pixel a visible point falls on. The slot number and threshold
// come from the texture's ParamBlock, the point's alpha from the result
// record. A slot number outside 0..31, a slot the sequence role has not
// sized yet and a missing point mark nothing.
SEQFX_EXPORT int save_pixel_pos(int stype, void *params, float *texvec) {
  const TexParams *p = static_cast<const TexParams *>(params);
  if (!p || !texvec || p->texture < 0 || p->texture >= kScreenCount) return 0;
  Screen &s = screens[p->texture];
  if (!s.scr) return 0;

  const float alpha = result[4];
  bool mark;
  if (stype == 0)
    mark = true;
  else if (stype == 1 && alpha != 0.0f)
    mark = true;
  else
    mark = alpha >= p->threshold;
  if (!mark) return 0;

  const float x = texvec[0], y = texvec[1], z = texvec[2];
  // Only the whole index is checked: x = 1.0 gives column W, the first
  // pixel of the next row.
  long long row = 0, column = 0;
  const bool inside = screen_position(y, s.half_height, row) &&
                      screen_position(x, s.half_width, column);
  const long long index = (long long)s.width * row + column;
  if (!inside || index < 0 || index >= s.count) {
    std::fprintf(stderr, "Point (%g,%g,%g) is situated in the top half of the display!\n",
                 (double)x, (double)y, (double)z);
  } else {
    s.scr[index] = 1.0f;
  }
  return 0;
}
