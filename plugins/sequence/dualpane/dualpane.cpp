// dualpane: two strips split at an adjustable position, with a border band
// on the first strip's side of the split filled by one of five mixes.

#include "seqfx_module.h"
#include "strip_pair.h"

namespace {

using seqfx_module::unit;
using strip_pair::Plane;

// One 4-byte slot per table row.
struct Params {
  int label_input;
  float offset;        // split position, share of the frame
  float mix_f;         // fixed share of ibuf2 for MixType 4
  float border;        // band width, share of the first strip's part
  int mix_type;        // 0..4; others leave the band as it was
  float red, green, blue;
  int horizontal;      // split rows instead of columns
};

// A float limited to lo..hi; not a number counts as lo.
inline float limited(float v, float lo, float hi) {
  if (!(v > lo)) return lo;
  return v > hi ? hi : v;
}

// A single-precision result truncated toward zero, its low 8 bits stored.
// Every value reaching here lies well inside the int range.
inline unsigned char low8(float v) { return (unsigned char)(int)v; }

// One border pixel from p1 (ibuf1) and p2 (ibuf2) at ramp position t.
void mixit(const float colour[4], const unsigned char *p1, const unsigned char *p2,
           unsigned char *dst, float mix_f, int mix_type, float t) {
  unsigned char px[4];
  switch (mix_type) {
    case 0:
      strip_pair::use_ibuf(p1, dst);
      return;
    case 1:
      for (int k = 0; k < 4; ++k) px[k] = low8(t * colour[k]);
      break;
    case 2:
      for (int k = 0; k < 4; ++k) px[k] = low8((1.0f - t) * colour[k]);
      break;
    case 3:
      for (int k = 0; k < 4; ++k) px[k] = low8((1.0f - t) * (float)p1[k] + t * (float)p2[k]);
      break;
    case 4:
      for (int k = 0; k < 4; ++k)
        px[k] = low8((1.0f - mix_f) * (float)p1[k] + mix_f * (float)p2[k]);
      break;
    default:
      return;
  }
  std::memcpy(dst, px, 4);
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Split Border v.b1";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("2 strips"),
    SEQFX_FIELD(offset, PLUGIN_CODE_SLIDER_FLOAT, "Offset: ", 0.5f, 0, 1,
                "Offset (%) for split location"),
    SEQFX_FIELD(mix_f, PLUGIN_CODE_SLIDER_FLOAT, "Mix f: ", 0.5f, 0, 1,
                "A % to mix strip 1 with strip 2: (1-f)Source1 + (f)Source2"),
    SEQFX_FIELD(border, PLUGIN_CODE_SLIDER_FLOAT, "Border: ", 0.5f, 0, 1,
                "Border width between screens. Can occupy 100% of screen1."),
    SEQFX_FIELD(mix_type, PLUGIN_CODE_SLIDER_INT, "MixType: ", 3, 0, 4, "Type of mixing to do"),
    SEQFX_FIELD(red, PLUGIN_CODE_SLIDER_FLOAT, "Red: ", 122, 0, 255, "Red value of border"),
    SEQFX_FIELD(green, PLUGIN_CODE_SLIDER_FLOAT, "Green: ", 34, 0, 255, "Green value of berder"),
    SEQFX_FIELD(blue, PLUGIN_CODE_SLIDER_FLOAT, "Blue: ", 1, 0, 255, "Blue value of border"),
    SEQFX_FIELD(horizontal, PLUGIN_CODE_TOGGLE, "Horizontal: ", 0, 0, 1,
                "Split screen horizontally"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *ibuf2, ImageBuffer *out, ImageBuffer *) {
  if (!strip_pair::has_pixels(ibuf1) || !strip_pair::has_pixels(ibuf2) || ibuf1 == ibuf2 ||
      !strip_pair::has_pixels(out))
    return;
  const Params *p = static_cast<const Params *>(params);

  // The split follows ibuf1's size; only what all three images hold is drawn.
  const int X = ibuf1->xsize, Y = ibuf1->ysize;
  const strip_pair::Extent e = strip_pair::covered(X, Y, {ibuf2, out});
  const bool horizontal = p->horizontal != 0;

  // Shares and colour values beyond their sliders are limited to them, so
  // that every byte below is defined (not a number counts as the lower end).
  const float S = limited(p->offset, 0, 1) * (float)(horizontal ? Y : X);
  const float B = limited(p->border, 0, 1) * S;
  const float band_start = S - B;
  const float mix_f = limited(p->mix_f, 0, 1);
  // The border colour is the Red, Green and Blue sliders in the pixel's red,
  // green and blue bytes, opaque: the colour ramps fade it in (or out) like a
  // colour laid at opacity t over nothing.
  const float colour[4] = {limited(p->red, 0, 255), limited(p->green, 0, 255),
                           limited(p->blue, 0, 255), 255.0f};

  // Ramp position of a coordinate inside the band. A band of no width (Border
  // or Offset 0) still holds the coordinate equal to S; it takes the value
  // the end of every wider band has there, t = 1.
  auto ramp = [&](float u) { return B > 0.0f ? (u - band_start) / B : 1.0f; };

  const Plane a(ibuf1), b(ibuf2), o(out);

  // Columns before c0 lie before the band, columns from c1 on beyond the
  // split; the same comparisons as for a single pixel, made once per frame.
  int c0 = 0, c1 = 0;
  if (!horizontal) {
    while (c0 < e.w && (float)c0 < band_start) ++c0;
    c1 = c0;
    while (c1 < e.w && !((float)c1 > S)) ++c1;
  }

  for (int r = 0; r < e.h; ++r) {
    if (horizontal) {
      // The whole row lies on one side of the split or inside the band.
      const float u = (float)r;
      if (u < band_start)
        strip_pair::copy_span(a, o, r, 0, e.w);
      else if (u > S)
        strip_pair::copy_span(b, o, r, 0, e.w);
      else
        for (int c = 0; c < e.w; ++c)
          mixit(colour, a.at(c, r), b.at(c, r), o.at(c, r), mix_f, p->mix_type, ramp(u));
      continue;
    }
    strip_pair::copy_span(a, o, r, 0, c0);
    for (int c = c0; c < c1; ++c)
      mixit(colour, a.at(c, r), b.at(c, r), o.at(c, r), mix_f, p->mix_type, ramp((float)c));
    strip_pair::copy_span(b, o, r, c1, e.w);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
