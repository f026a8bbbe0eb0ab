// truncate: passes the pixels of one strip whose brightness lies between
// the pivot and the host's effect factor, and blacks out the rest.

#include "seqfx_module.h"

#include <cstring>

namespace {

using seqfx_module::pixels_to_walk;
using seqfx_module::unit;

// One 4-byte slot per table row.
struct Params {
  int note[4];  // labels
  float pivot;  // one end of the kept range, 0..1
};

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "trucate";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Note:"),
    SEQFX_LABEL("In addition to"),
    SEQFX_LABEL("pivot use the"),
    SEQFX_LABEL("IPO for a range"),
    SEQFX_FIELD(pivot, PLUGIN_CODE_SLIDER_FLOAT, "tpivot ", 0, 0, 1, "Trucation range pivot point."));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect) return;
  const Params *p = static_cast<const Params *>(params);
  // Counts come from ibuf1; never write past a smaller out.
  const long n = pixels_to_walk(ibuf1, out);

  // Both ends in single precision, truncated toward zero. The pivot is
  // limited like the factor, so that a slot outside the slider's range
  // still gives a defined integer.
  const int lo_end = (int)(unit(p->pivot) * 255);
  const int hi_end = (int)(unit(factor0) * 255);
  const int lo = lo_end < hi_end ? lo_end : hi_end;
  const int hi = lo_end < hi_end ? hi_end : lo_end;

  // Whether a pixel passes depends on R + G + B alone (0..765).
  bool keep[766];
  for (int s = 0; s <= 765; ++s) keep[s] = s / 3 >= lo && s / 3 <= hi;

  static const unsigned char black[4] = {0, 0, 0, 255};
  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;
  for (long i = 0; i < n; ++i, src += 4, dst += 4) {
    const unsigned char *from = keep[src[0] + src[1] + src[2]] ? src : black;
    unsigned char px[4];
    std::memcpy(px, from, 4);
    std::memcpy(dst, px, 4);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
