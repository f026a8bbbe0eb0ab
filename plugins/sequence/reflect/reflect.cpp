// reflect: turns the picture of one strip upside down ("Flip"), mirrors it
// left to right ("Flop"), or both, which is a half turn. Pixels move whole.

#include "seqfx_module.h"
#include "stable_source.h"

#include <cstdint>
#include <cstring>

namespace {

// One 4-byte slot per table row. A toggle counts as on only when it holds
// exactly 1.
struct Params {
  int label_in;
  int flip, flop;  // rows 1, 2
};

// Copies n pixels of src to dst in reverse order.
void reversed(const unsigned char *src, unsigned char *dst, int n) {
  const std::uint32_t *s = reinterpret_cast<const std::uint32_t *>(src);
  std::uint32_t *d = reinterpret_cast<std::uint32_t *>(dst);
  for (int i = 0; i < n; ++i) {
    std::uint32_t px;
    std::memcpy(&px, s + (n - 1 - i), 4);
    std::memcpy(d + i, &px, 4);
  }
}

}  // namespace

extern "C" {
SEQFX_DATA char name[13] = "Reflect 0.3";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 1 Strip"),
    SEQFX_FIELD(flip, PLUGIN_CODE_TOGGLE, "Flip", 1, 0, 1, "Flip the image"),
    SEQFX_FIELD(flop, PLUGIN_CODE_TOGGLE, "Flop", 1, 0, 1, "Flop the image"));

// The picture is ibuf1 at its own size, mirrored about its own middle. An
// output of another size receives the part of the mirrored picture that
// falls inside it, from its first row and column.
SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect) return;
  const Params *p = static_cast<const Params *>(params);
  const int w = ibuf1->xsize, h = ibuf1->ysize;
  if (w <= 0 || h <= 0 || out->xsize <= 0 || out->ysize <= 0) return;
  const bool flip = p->flip == 1, flop = p->flop == 1;

  seqfx_common::StableSource source(ibuf1, out, "Reflect");
  const unsigned char *src = source.pixels();
  if (!src) return;
  const int ow = out->xsize;
  const int cols = w < ow ? w : ow;
  const int rows = h < out->ysize ? h : out->ysize;

  for (int r = 0; r < rows; ++r) {
    const unsigned char *from = src + 4 * (long)(flip ? h - 1 - r : r) * w;
    unsigned char *to = out->rect + 4 * (long)r * ow;
    if (flop) {
      // Output column c takes column w - 1 - c: the last `cols` source
      // columns, reversed.
      reversed(from + 4 * (long)(w - cols), to, cols);
    } else if (to != from) {
      std::memcpy(to, from, 4 * (size_t)cols);
    }
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
