// edgevisor: tints one strip with three colour factors and lays horizontal
// bands over it, alternately a little darker and a little brighter, like the
// scan lines of a visor display.
//
// Each factor is turned into a dark and a bright multiplier, (f -/+ 0.2)
// divided by the mean of the three factors. The "Blue" factor scales the
// green byte and the "Green" factor the blue byte; that pairing is part of
// the look. Each product goes back into the channel it was computed from,
// and the output keeps the input's alpha, so the picture keeps its colours
// where they were and its transparency.

#include "frame_extent.h"
#include "seqfx_module.h"

#include <cmath>
#include <cstring>

namespace {

// One 4-byte slot per table row.
struct Params {
  int note;
  float thickness;           // row 1: band period in rows; 0 or less: fixed 2-row bands
  float red, green, blue;    // rows 2..4: 0..2
};

// A factor limited to its widget's 0..2; not a number counts as 0.
float factor(float v) {
  if (!(v > 0.0f)) return 0.0f;
  return v > 2.0f ? 2.0f : v;
}

// A single-precision product truncated toward zero and limited to 0..255.
// A negative product (a factor below 0.2 gives a negative dark multiplier)
// is black, not a wrapped byte.
unsigned char to_byte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return (unsigned char)(int)v;
}

// Whether the row k rows above the bottom of the band pattern is dark.
bool dark_row(int k, float thickness) {
  if (thickness > 0.0f) {
    const float q = (float)k / thickness;
    return q - std::trunc(q) < 0.5f;
  }
  return (k & 2) != 0;
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Edgevisor";
SEQFX_DATA float cfra;
}
// "Thickness" defaults to 0, below its widget's minimum: a new strip shows 0
// and the fixed pattern of bands two rows high, until the field is edited.
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 1 strip"),
    SEQFX_FIELD(thickness, PLUGIN_CODE_NUMBER_FLOAT, "Thickness", 0, 2, 12, "thickness of lines"),
    SEQFX_FIELD(red, PLUGIN_CODE_NUMBER_FLOAT, "Red", 0.6f, 0, 2, "red"),
    SEQFX_FIELD(green, PLUGIN_CODE_NUMBER_FLOAT, "Green", 0.9f, 0, 2, "green"),
    SEQFX_FIELD(blue, PLUGIN_CODE_NUMBER_FLOAT, "Blue", 0.6f, 0, 2, "blue"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect || height <= 0) return;
  const Params *p = static_cast<const Params *>(params);

  // Mean and multipliers in double precision, each rounded to single. With
  // all three factors 0 there is no mean to divide by: the picture is black.
  const float r = factor(p->red), g = factor(p->green), b = factor(p->blue);
  const float m = (float)(((double)r + g + b) / 3.0);
  // Byte order of the products: byte 0 by red, byte 1 by blue, byte 2 by green.
  const float f[3] = {r, b, g};
  unsigned char lut[2][3][256];  // [bright][byte][value]
  for (int bright = 0; bright < 2; ++bright)
    for (int c = 0; c < 3; ++c) {
      const float mul = m > 0.0f ? (float)((f[c] + (bright ? 0.2 : -0.2)) / m) : 0.0f;
      for (int v = 0; v < 256; ++v) lut[bright][c][v] = to_byte((float)v * mul);
    }

  // The band pattern counts rows from the frame's last row (height - 1).
  const seqfx_extent::Extent e = seqfx_extent::common_extent(width, height, {ibuf1, out});
  for (int y = 0; y < e.rows; ++y) {
    const auto &t = lut[dark_row(height - 1 - y, p->thickness) ? 0 : 1];
    const unsigned char *src = seqfx_extent::row(ibuf1, y);
    unsigned char *dst = seqfx_extent::row(out, y);
    for (int x = 0; x < e.cols; ++x, src += 4, dst += 4) {
      const unsigned char px[4] = {t[0][src[0]], t[1][src[1]], t[2][src[2]], src[3]};
      std::memcpy(dst, px, 4);
    }
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
