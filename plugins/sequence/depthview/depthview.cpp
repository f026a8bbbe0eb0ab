// depthview: shows the depth plane of one strip as a banded grey picture.
// The grey is bits 18..25 of the depth, so it runs through 0..255 every 2^26
// depth units, 64 bands over the whole signed range.

#include "seqfx_module.h"

#include <cstdio>
#include <cstring>

namespace {

using seqfx_module::pixels_to_walk;

// One 4-byte slot per table row.
struct Params {
  float width;  // obsolete: shown, never read
};

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "depthview";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_FIELD(width, PLUGIN_CODE_SLIDER_FLOAT, "width ", 1, 0, 10, "This button is obsolete!"));

SEQFX_EXPORT void plugin_seq_doit(void *, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1) return;
  if (!ibuf1->zbuf) {
    std::printf("no zbuf\n");
    return;
  }
  if (!out || !out->rect) return;
  // The input's own pixels, but never more than out holds.
  const long n = pixels_to_walk(ibuf1, out);
  const int *z = ibuf1->zbuf;
  unsigned char *dst = out->rect;
  for (long i = 0; i < n; ++i) {
    // An arithmetic shift: negative depths keep their sign bits, so -1 is
    // white at the top of the band below 0.
    const unsigned char g = (unsigned char)(z[i] >> 18);
    const unsigned char px[4] = {g, g, g, 255};
    std::memcpy(dst + 4 * i, px, 4);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
