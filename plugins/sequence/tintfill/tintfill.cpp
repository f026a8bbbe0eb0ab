// tintfill: fills the frame with a flat colour, or mixes one strip with
// that colour.

#include "seqfx_module.h"

#include <emmintrin.h>

#include <cstdint>

#include <cstring>

namespace {

using seqfx_module::pixels_to_walk;
using seqfx_module::unit;

// One 4-byte slot per table row.
struct Params {
  int enable_mixer;        // off fills, on mixes
  float mix;               // share of the picture, 0..1
  float red, green, blue;  // the colour, 0..1
};

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "tintfill";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_FIELD(enable_mixer, PLUGIN_CODE_TOGGLE, "Enable Mixer", 0, 0, 1,
                "Toggles Mixer. faster!"),
    SEQFX_FIELD(mix, PLUGIN_CODE_SLIDER_FLOAT, "Mix ", 1, 0, 1, "Image/RGB Mix"),
    SEQFX_FIELD(red, PLUGIN_CODE_SLIDER_FLOAT, "Red ", 0.5f, 0, 1, "Red Value"),
    SEQFX_FIELD(green, PLUGIN_CODE_SLIDER_FLOAT, "Green ", 0.5f, 0, 1, "Green Value"),
    SEQFX_FIELD(blue, PLUGIN_CODE_SLIDER_FLOAT, "Blue ", 0.5f, 0, 1, "Blue Value"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !out || !out->rect) return;
  const Params *p = static_cast<const Params *>(params);
  // Counts come from ibuf1; never write past a smaller out.
  const long n = pixels_to_walk(ibuf1, out);

  // The colour and mix are single-precision values: every product below is
  // computed in single precision and truncated toward zero.
  const float k[3] = {unit(p->red), unit(p->green), unit(p->blue)};
  unsigned char *dst = out->rect;

  if (!p->enable_mixer) {
    const unsigned char px[4] = {(unsigned char)(int)(k[0] * 255), (unsigned char)(int)(k[1] * 255),
                                 (unsigned char)(int)(k[2] * 255), 255};
    std::uint32_t word;
    std::memcpy(&word, px, 4);
    const __m128i four = _mm_set1_epi32((int)word);
    long i = 0;
    for (; i + 4 <= n; i += 4, dst += 16) _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), four);
    for (; i < n; ++i, dst += 4) std::memcpy(dst, px, 4);
    return;
  }

  if (!ibuf1->rect) return;
  // out = k (1 - m) 255 + m c depends on the byte alone: one table per
  // channel.
  const float m = unit(p->mix);
  unsigned char lut[3][256];
  for (int c = 0; c < 3; ++c) {
    const float base = k[c] * (1.0f - m) * 255;
    for (int v = 0; v < 256; ++v) lut[c][v] = (unsigned char)(int)(base + m * (float)v);
  }
  const unsigned char *src = ibuf1->rect;
  for (long i = 0; i < n; ++i, src += 4, dst += 4) {
    const unsigned char px[4] = {lut[0][src[0]], lut[1][src[1]], lut[2][src[2]], 255};
    std::memcpy(dst, px, 4);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
