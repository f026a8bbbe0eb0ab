// turnover: mirrors the picture of one strip along x, along y, and turns
// it by a quarter turn. Every output pixel is a whole source pixel.

#include "seqfx_module.h"
#include "stable_source.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// One 4-byte slot per table row. A toggle counts as on only when it holds
// exactly 1.
struct Params {
  int label_in;
  int flip_x, flip_y, rot;  // rows 1..3
};

// Output tiles of the quarter turn, so that the source columns it reads
// stay in the cache.
constexpr int kTile = 64;

// A position brought into 0..n-1 by whole turns of n. Positions the mirror
// and the quarter turn leave outside the frame (a turned picture that is not
// square) therefore repeat the picture; a position one turn off lands where
// adding n once would put it.
inline int around(long c, long n) {
  const long m = c % n;
  return (int)(m < 0 ? m + n : m);
}

// Where the source pixels lie: the frame position (c, r) maps to offset
// r * stride + c of the input; -1 for a position outside the input.
struct Source {
  const unsigned char *pixels;
  int w, h;  // the input's own size

  long column(int c) const { return c < w ? c : -1; }
  long row(int r) const { return r < h ? (long)r * w : -1; }
};

inline void put(unsigned char *to, const unsigned char *src, long col, long row) {
  static const unsigned char clear[4] = {0, 0, 0, 0};
  std::memcpy(to, col >= 0 && row >= 0 ? src + 4 * (row + col) : clear, 4);
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Turnover";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 1 strip"),
    SEQFX_FIELD(flip_x, PLUGIN_CODE_TOGGLE, "Flip X", 0, 0, 1, "Flip image along x"),
    SEQFX_FIELD(flip_y, PLUGIN_CODE_TOGGLE, "Flip Y", 0, 0, 1, "Flip image along y"),
    SEQFX_FIELD(rot, PLUGIN_CODE_TOGGLE, "rot", 0, 0, 1, "Rotate Image"));

// Positions are taken in the frame (width x height). Frame positions outside
// `out` are not written; source positions inside the frame but outside a
// smaller input give transparent black.
SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect || width <= 0 || height <= 0) return;
  const Params *p = static_cast<const Params *>(params);
  const bool flip_x = p->flip_x == 1, flip_y = p->flip_y == 1, rot = p->rot == 1;
  const int ow = out->xsize;
  const int cols = width < ow ? width : ow;
  const int rows = height < out->ysize ? height : out->ysize;
  if (cols <= 0 || rows <= 0) return;

  seqfx_common::StableSource stable(ibuf1, out, "Turnover");
  const Source s{stable.pixels(), ibuf1->xsize > 0 ? ibuf1->xsize : 0,
                 ibuf1->ysize > 0 ? ibuf1->ysize : 0};
  if (!s.pixels && s.w && s.h) return;  // no copy of an aliased input

  // The source column and row, as functions of one output coordinate each:
  // without the turn the column follows x and the row y, with it the column
  // follows y (sx = y) and the row x (sy = h - 1 - x); the flips mirror them
  // afterwards.
  const long w = width, h = height;
  auto source_col = [&](long v) { return s.column(around(flip_x ? w - 1 - v : v, w)); };
  auto source_row = [&](long v) {
    const long r = rot ? h - 1 - v : v;
    return s.row(around(flip_y ? h - 1 - r : r, h));
  };
  unsigned char *dst = out->rect;

  if (!rot) {
    std::vector<long> col(cols);
    bool inside = true;
    for (int x = 0; x < cols; ++x) inside &= (col[x] = source_col(x)) >= 0;
    const bool straight = inside && !flip_x;
    for (int y = 0; y < rows; ++y) {
      const long r = source_row(y);
      unsigned char *to = dst + 4 * (long)y * ow;
      if (r >= 0 && straight) {
        std::memcpy(to, s.pixels + 4 * r, 4 * (size_t)cols);
      } else if (r >= 0 && inside) {
        const unsigned char *from = s.pixels + 4 * r;
        for (int x = 0; x < cols; ++x) std::memcpy(to + 4 * x, from + 4 * col[x], 4);
      } else {
        for (int x = 0; x < cols; ++x) put(to + 4 * x, s.pixels, col[x], r);
      }
    }
    return;
  }

  // Quarter turn: the column comes from y, the row from x.
  std::vector<long> col(rows), row(cols);
  for (int y = 0; y < rows; ++y) col[y] = source_col(y);
  for (int x = 0; x < cols; ++x) row[x] = source_row(x);
  for (int y0 = 0; y0 < rows; y0 += kTile) {
    const int y1 = y0 + kTile < rows ? y0 + kTile : rows;
    for (int x0 = 0; x0 < cols; x0 += kTile) {
      const int x1 = x0 + kTile < cols ? x0 + kTile : cols;
      for (int y = y0; y < y1; ++y) {
        unsigned char *to = dst + 4 * (long)y * ow;
        const long c = col[y];
        for (int x = x0; x < x1; ++x) put(to + 4 * x, s.pixels, c, row[x]);
      }
    }
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
