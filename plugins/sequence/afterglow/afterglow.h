// afterglow: the module's internal interface. The sequence effect surrounds
// source pixels with an exponentially decaying glow of colour, alpha and
// depth; the texture role marks screen positions in shared slots that the
// sequence effect then uses as its source.
#pragma once

#include "seqfx_module.h"

#include <cstddef>

namespace afterglow_impl {

// The ParamBlock of the sequence role: one 4-byte slot per row.
struct SeqParams {
  int title;             // label
  float width;           // label "width": the effect stores the glow width here
  float q;               // glow width as a fraction of the frame width
  float outside;         // "extern=": influence of the glow outside the source
  float inside;          // "intern=": influence of the glow on the source
  float intensity;       // "i="
  float red, green, blue;
  int texture;           // screen slot 0..31, -1 for the mask path
  int animated;
  int show_weights;
  int use_background;
};

// The ParamBlock of the texture role.
struct TexParams {
  int title;
  int texture;           // screen slot 0..31
  float threshold;       // alpha threshold of sub-type 2 (and 1 for alpha 0)
};

// One screen slot, shared by both roles for the life of the module.
struct Screen {
  int count;             // width x height of scr; -1 while unsized
  int width, height;     // frame size at the last sequence call
  double half_width, half_height;
  float *scr;            // count floats: 1.0 marked by the texture, 0.0 not
};

constexpr int kScreenCount = 32;
extern Screen screens[kScreenCount];

// The texture result record; the renderer puts the point's alpha at [4].
extern float result[8];

// The single-precision float nearest to 1/255.
constexpr float i255 = 1.0f / 255.0f;

// Two-sided exponential filter of `lines` lines of `len` elements:
// dst[j] = sum over k of decay^|j-k| * src[k], in single precision. Line
// starts are line_stride elements apart, elements elem_stride apart. dst
// and src must not overlap.
void compute_weights(float decay, float *dst, const float *src, int len, int lines,
                     std::ptrdiff_t line_stride, std::ptrdiff_t elem_stride);

// The filter over a width x height plane: along rows from src into temp,
// then along columns from temp into dst.
void filter_plane(float decay, float *dst, const float *src, float *temp, int width, int height);

// One colour channel (byte 0, 1 or 2) of the glow into result.
void compute_colors(int channel, float gain, float inside, float outside, float decay, int width,
                    int height, std::size_t count, const unsigned char *pixels,
                    const float *weights, const float *mask, float *result, float *temp,
                    bool use_background);

// The output depth: glowing pixels move nearer.
void compute_zbuf(float inside, float outside, float decay, int width, int height,
                  std::size_t count, const int *zin, int *zout, const float *weights,
                  const float *mask, float *scratch, float *temp);

// Colours from the three channel results, alpha from the weights.
void compose(std::size_t count, const float *rij, const float *gij, const float *bij,
             const float *aij, const unsigned char *in, unsigned char *out);

// The weights as grey with a black outline of the source; returns the
// largest weight (-1 for an empty frame).
float weight_view(std::size_t count, const float *aij, const float *mask, unsigned char *out);

// The picture shown when no glow can be made: a coloured cross over the
// centred square on a dark, almost transparent field. Nothing without pixels.
void cancel_pict(int width, int height, unsigned char *pixels);

// Float to int as a C cast truncates, but defined for every value: NaN
// gives 0 and values beyond the int range the nearest int.
int truncate_to_int(double v);

// The name field of the sequence table's width row, which the effect
// rewrites with the glow width it computed.
char *width_label();

}  // namespace afterglow_impl

extern "C" {
SEQFX_EXPORT void afterglow(void *params, float factor0, float factor1, int width, int height,
                            ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                            ImageBuffer *ibuf3);
SEQFX_EXPORT int save_pixel_pos(int stype, void *params, float *texvec);
}
