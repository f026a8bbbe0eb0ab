// dualpane: two strips split at an adjustable position, with a border band
// on the first strip's side of the split filled by one of five mixes.

#include "seqfx_module.h"
#include "strip_pair.h"

#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Four bytes as four floats, and four single-precision results truncated
// toward zero with their low 8 bits stored: the arithmetic of one pixel's
// four bytes side by side, each lane exactly as the scalar form.
#ifdef __SSE2__
using Quad = __m128;
inline Quad quad(float v) { return _mm_set1_ps(v); }
inline Quad quad(const float v[4]) { return _mm_loadu_ps(v); }
inline Quad quad(const unsigned char *px) {
  int v;
  std::memcpy(&v, px, 4);
  const __m128i z = _mm_setzero_si128();
  return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(v), z), z));
}
// (* and + on Quad are the compiler's lane-wise single-precision operations.)
inline void store_low8(Quad v, unsigned char *dst) {
  __m128i i = _mm_and_si128(_mm_cvttps_epi32(v), _mm_set1_epi32(255));
  i = _mm_packs_epi32(i, i);
  i = _mm_packus_epi16(i, i);
  const int o = _mm_cvtsi128_si32(i);
  std::memcpy(dst, &o, 4);
}
#else
struct Quad {
  float v[4];
};
inline Quad quad(float f) { return {{f, f, f, f}}; }
inline Quad quad(const float c[4]) { return {{c[0], c[1], c[2], c[3]}}; }
inline Quad quad(const unsigned char *px) { return {{(float)px[0], (float)px[1], (float)px[2], (float)px[3]}}; }
inline Quad operator*(Quad x, Quad y) {
  for (int k = 0; k < 4; ++k) x.v[k] *= y.v[k];
  return x;
}
inline Quad operator+(Quad x, Quad y) {
  for (int k = 0; k < 4; ++k) x.v[k] += y.v[k];
  return x;
}
inline void store_low8(Quad q, unsigned char *dst) {
  for (int k = 0; k < 4; ++k) dst[k] = (unsigned char)(int)q.v[k];
}
#endif

// One border pixel from p1 (ibuf1) and p2 (ibuf2) at ramp position t. Every
// value reaching here lies well inside the int range.
inline void mixit(const float colour[4], const unsigned char *p1, const unsigned char *p2,
                  unsigned char *dst, float mix_f, int mix_type, float t) {
  switch (mix_type) {
    case 0:
      strip_pair::use_ibuf(p1, dst);
      return;
    case 1:
      store_low8(quad(t) * quad(colour), dst);
      return;
    case 2:
      store_low8(quad(1.0f - t) * quad(colour), dst);
      return;
    case 3:
      store_low8(quad(1.0f - t) * quad(p1) + quad(t) * quad(p2), dst);
      return;
    case 4:
      store_low8(quad(1.0f - mix_f) * quad(p1) + quad(mix_f) * quad(p2), dst);
      return;
    default:
      return;
  }
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
  // The ramp of each band column, computed once.
  std::vector<float> t_col((std::size_t)(c1 - c0));
  for (int c = c0; c < c1; ++c) t_col[c - c0] = ramp((float)c);

  for (int r = 0; r < e.h; ++r) {
    if (horizontal) {
      // The whole row lies on one side of the split or inside the band.
      const float u = (float)r, t_row = ramp(u);
      if (u < band_start)
        strip_pair::copy_span(a, o, r, 0, e.w);
      else if (u > S)
        strip_pair::copy_span(b, o, r, 0, e.w);
      else
        for (int c = 0; c < e.w; ++c)
          mixit(colour, a.at(c, r), b.at(c, r), o.at(c, r), mix_f, p->mix_type, t_row);
      continue;
    }
    strip_pair::copy_span(a, o, r, 0, c0);
    for (int c = c0; c < c1; ++c)
      mixit(colour, a.at(c, r), b.at(c, r), o.at(c, r), mix_f, p->mix_type, t_col[c - c0]);
    strip_pair::copy_span(b, o, r, c1, e.w);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
