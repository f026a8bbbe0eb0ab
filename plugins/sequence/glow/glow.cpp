// glow: picks out the bright parts of one strip, blurs them into a halo and
// adds the halo back onto the picture.

#include "seqfx_module.h"
#include "clamps.h"
#include "frame_fit.h"

#include "blur.h"
#include "highlights.h"

namespace {

// One 4-byte slot per table row.
struct Params {
  int label;
  float threshold;  // 0..1 of the largest R + G + B
  float clamp;      // 0..1 of 255
  float boost;
  float distance;
  int quality;
  int only_boost;
};

}  // namespace

using seqfx_common::add_saturating;
using seqfx_common::isolate_highlights;

extern "C" {
SEQFX_DATA char name[24] = "glow";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("In: 1 strip"),
    SEQFX_FIELD(threshold, PLUGIN_CODE_NUMBER_FLOAT, "Threshold", 0.5f, 0, 1, "Trigger Intensity"),
    SEQFX_FIELD(clamp, PLUGIN_CODE_NUMBER_FLOAT, "Clamp", 1, 0, 1, "Brightness limit of intensity"),
    SEQFX_FIELD(boost, PLUGIN_CODE_NUMBER_FLOAT, "Boost Factor", 0.5f, 0, 10,
                "Brightness multiplier"),
    SEQFX_FIELD(distance, PLUGIN_CODE_NUMBER_FLOAT, "Blur Distance", 3, 0.5f, 20,
                "Radius of glow effect"),
    SEQFX_FIELD(quality, PLUGIN_CODE_NUMBER_INT, "Quality", 3, 1, 5, "Accuracy of the blur effect"),
    SEQFX_FIELD(only_boost, PLUGIN_CODE_TOGGLE, "Only Boost", 0, 0, 1,
                "Show the glow buffer only"));

// The halo is built in out's pixels, whose A bytes are never written before
// the addition: out's A ends as the saturating sum of the input's A and the
// A out held when the call began (left as it was with Only Boost).
SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  // A missing image or an empty frame leaves out as it is.
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect) return;
  // Records holding fewer pixels than the frame narrow the frame walked.
  seqfx_common::fit_frame(width, height, {ibuf1, out});
  if (width <= 0 || height <= 0) return;
  // A slot may hold any value. From 765 on nothing is a highlight, so a
  // larger threshold changes nothing; the lower limit keeps R + G + B -
  // threshold inside an int. A threshold that is not a number counts as 0.
  float t = p->threshold * 765.0f;
  if (t != t) t = 0.0f;
  const int threshold = (int)seqfx_common::clamp(t, -16777216.0f, 765.0f);
  // The blur's window grows with quality x distance: both are held to the
  // table's upper bounds (and quality to its lower one), so that no slot
  // value makes a frame cost more than the largest setting does.
  const int quality = seqfx_common::clamp(p->quality, 1, 5);
  const float distance = p->distance > 20.0f ? 20.0f : p->distance;
  // One walk down the rows keeps each row in cache from its highlights to
  // the addition; the separate passes remain for a blur that does nothing.
  if (blur_halo(ibuf1->rect, out->rect, width, height, threshold, p->boost, p->clamp, distance,
                quality, p->only_boost != 0))
    return;
  isolate_highlights(ibuf1->rect, out->rect, width, height, threshold, p->boost, p->clamp);
  RVBlurBitmap2(out->rect, width, height, distance, quality);
  if (p->only_boost == 0) add_saturating(ibuf1->rect, out->rect, out->rect, width, height);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
