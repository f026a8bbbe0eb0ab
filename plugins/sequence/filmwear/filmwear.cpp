// filmwear: makes one strip look like worn film. The picture turns grey
// (with alpha 0), random single pixels drop out to black, and one black
// vertical scratch wanders sideways from call to call. The scratch's
// position and speed live in this file and are never reset, so the path
// depends on how many frames were rendered before, not on the frame number.

#include "frame_extent.h"
#include "seqfx_module.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using seqfx_module::unit;

// One 4-byte slot per table row.
struct Params {
  int note;
  float dirty;  // row 1: average share of dropped-out pixels, 0..1
};

// Scratch position in columns from the right edge (0 = rightmost), and the
// columns it moves per call (within -10..10 after every call).
int scratchx = 10;
int scratchmove = 1;

// The generator draws 0..32767 here whatever the platform's RAND_MAX.
inline int draw() { return std::rand() % 32768; }

// Moves the scratch for one call; the order of the draws is fixed.
void move_scratch(int width) {
  scratchx += scratchmove;
  if (scratchx < 0) {
    scratchx = 0;
    scratchmove = draw() % 4 + 1;
  }
  if (scratchx >= width) {
    scratchx = width - 1;
    scratchmove = -(draw() % 4 + 1);
  }
  if (draw() >= 16384) scratchmove += 1;
  if (draw() >= 16384) scratchmove -= 1;
  if (scratchmove > 10) scratchmove = 10;
  if (scratchmove < -10) scratchmove = -10;
  if (draw() > 30000) {
    if (draw() >= 16384) scratchmove = -(draw() % 4 + 1);
    else scratchmove = draw() % 4 + 1;
  }
}

}  // namespace

extern "C" {
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("In: 1 Strip"),
    SEQFX_FIELD(dirty, PLUGIN_CODE_SLIDER_FLOAT, "Area dirty", 0.1f, 0, 1,
                "Average proportion \"broken\" pixels"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  // Dirt threshold in single precision, truncated. The slider is limited to
  // 0..1 (not a number counts as 0) so that any slot value gives 0..32767.
  const int threshold = (int)(unit(p->dirty) * 32767);

  // The scratch moves on every call, also one that then renders nothing.
  // A negative width counts as 0, so that width - 1 cannot overflow.
  if (width < 0) width = 0;
  move_scratch(width);

  if (!ibuf1 || !ibuf1->rect || !out || !out->rect) {
    std::printf("Not linked to a buffer!\n");
    std::fflush(stdout);
    return;
  }

  // Grey level by channel sum, integer division.
  unsigned char grey[766];
  for (int s = 0; s <= 765; ++s) grey[s] = (unsigned char)(s / 3);

  // The frame is width x height; only the part inside both images is
  // walked, each with its own row length.
  const seqfx_extent::Extent e = seqfx_extent::common_extent(width, height, {ibuf1, out});
  const int scratch_col = width - 1 - scratchx;
  for (int y = 0; y < e.rows; ++y) {
    const unsigned char *src = seqfx_extent::row(ibuf1, y);
    unsigned char *dst = seqfx_extent::row(out, y);
    for (int x = 0; x < e.cols; ++x, src += 4, dst += 4) {
      const unsigned char g = grey[src[0] + src[1] + src[2]];
      // The scratch column draws no number; every other pixel draws one.
      const bool black = x == scratch_col || draw() < threshold;
      const unsigned char v = black ? 0 : g;
      const unsigned char px[4] = {v, v, v, 0};
      std::memcpy(dst, px, 4);
    }
  }
}

SEQFX_STANDARD_ENTRIES("Filmwear", varstr, cfra, plugin_seq_doit)
