// anaglyph: a left-eye and a right-eye strip combined into one red/green
// stereo picture: the left picture's brightness goes into red, the right
// picture's into green and blue, each through its own gamma.

#include "seqfx_module.h"
#include "strip_pair.h"
#include "brightness_curve.h"

#include <emmintrin.h>

#include <cstdio>
#include <cstring>

namespace {

using anaglyph::BrightnessCurve;

// Each pixel's brightness, 0.00117 R + 0.0023 G + 0.000447 B summed in
// double and rounded to float, is taken through its whole-number key (see
// brightness_curve.h); the curves give the output bytes from it.

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int reverse;         // the second strip is the left eye
  float br_bal;        // < 0 darkens red, > 0 green and blue
  float r_gam, g_gam;  // gammas of the two sides
  float g_bal;         // share of the right picture moved from green to blue
};

// A slider value limited to its range; not a number counts as its default.
inline float limited(float v, float lo, float hi, float def) {
  if (v != v) return def;
  return v < lo ? lo : (v > hi ? hi : v);
}


// The brightness keys of four pixels: 1170 R + 2300 G in one pair of
// 16-bit products and 447 B + 0 A in the other, each pair summed into a
// 32-bit lane (pmaddwd).
inline __m128i keys4(__m128i px) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i weights = _mm_set_epi16(0, 447, 2300, 1170, 0, 447, 2300, 1170);
  const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi8(px, zero), weights);  // pixels 0, 1
  const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi8(px, zero), weights);  // pixels 2, 3
  // Each pixel's two partial sums lie side by side: add the neighbours.
  const __m128i evens = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(lo), _mm_castsi128_ps(hi), 0x88));
  const __m128i odds = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(lo), _mm_castsi128_ps(hi), 0xDD));
  return _mm_add_epi32(evens, odds);
}

long pixels_of(const ImageBuffer *img) { return img ? seqfx_module::pixel_count(img) : 0; }

}  // namespace

extern "C" {
SEQFX_DATA char g_name[24] = "Anaglyph 1.0";
SEQFX_DATA float g_cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 2 strips"),
    SEQFX_FIELD(reverse, PLUGIN_CODE_TOGGLE, "Rev R/L ", 0, 0, 1, "Reverse Left/Right"),
    SEQFX_FIELD(br_bal, PLUGIN_CODE_SLIDER_FLOAT, "Br Bal ", 0, -0.5f, 0.5f, "Brightness balance"),
    SEQFX_FIELD(r_gam, PLUGIN_CODE_SLIDER_FLOAT, "R Gam ", 1, 0.5f, 2, "Gamma for Red"),
    SEQFX_FIELD(g_gam, PLUGIN_CODE_SLIDER_FLOAT, "G Gam ", 1, 0.5f, 2, "Gamma for Green"),
    SEQFX_FIELD(g_bal, PLUGIN_CODE_SLIDER_FLOAT, "G Bal ", 0, 0, 1, "Adjust green balance"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  // The pixel count comes from the frame size, but never passes what an
  // image holds.
  long n = width > 0 && height > 0 ? (long)width * height : 0;
  if (!strip_pair::has_pixels(out)) n = 0;
  if (pixels_of(out) < n) n = pixels_of(out);

  // A missing strip is shown as an opaque red frame.
  const bool no_first = !strip_pair::has_pixels(ibuf1), no_second = !strip_pair::has_pixels(ibuf2);
  if (no_first || no_second) {
    static const unsigned char red[4] = {255, 0, 0, 255};
    for (long i = 0; i < n; ++i) std::memcpy(out->rect + 4 * i, red, 4);
    std::printf("%s\n", no_second ? "Error: second buffer missing !" : "Error: first buffer missing !");
    return;
  }
  if (pixels_of(ibuf1) < n) n = pixels_of(ibuf1);
  if (pixels_of(ibuf2) < n) n = pixels_of(ibuf2);

  // Values beyond the sliders are limited to them, so that every byte stays
  // within 0..254.
  const float br_bal = limited(p->br_bal, -0.5f, 0.5f, 0.0f);
  const float r_gam = limited(p->r_gam, 0.5f, 2.0f, 1.0f);
  const float g_gam = limited(p->g_gam, 0.5f, 2.0f, 1.0f);
  const float g_bal = limited(p->g_bal, 0.0f, 1.0f, 0.0f);

  const float rs = (float)(br_bal < 0.0f ? 1.0 + (double)br_bal : 1.0);
  const int r_max = (int)(float)((double)rs * 255.0);
  const float gs = (float)(br_bal > 0.0f ? 1.0 - (double)br_bal : 1.0);
  const float g_full = (float)((double)gs * 255.0);
  const int g_share = (int)((double)g_full * (1.0 - (double)g_bal));
  const int b_share = (int)(g_bal * g_full);

  const BrightnessCurve red(r_gam, r_max), green(g_gam, g_share), blue(g_gam, b_share);

  const unsigned char *left = p->reverse ? ibuf2->rect : ibuf1->rect;
  const unsigned char *right = p->reverse ? ibuf1->rect : ibuf2->rect;
  unsigned char *o = out->rect;
  long i = 0;
  // Four pixels at a time: the keys in vectors, the larger alpha byte by
  // byte, then the curves pixel by pixel. Both inputs are loaded before out,
  // which may be one of them, is written.
  for (; i + 4 <= n; i += 4, left += 16, right += 16, o += 16) {
    const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i *>(left));
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i *>(right));
    int kl[4], kr[4];
    unsigned alpha[4];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(kl), keys4(l));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(kr), keys4(r));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(alpha), _mm_max_epu8(l, r));
    unsigned px[4];
    for (int j = 0; j < 4; ++j)
      px[j] = (unsigned)red(kl[j]) | (unsigned)green(kr[j]) << 8 | (unsigned)blue(kr[j]) << 16 |
              (alpha[j] & 0xFF000000u);
    std::memcpy(o, px, 16);
  }
  for (; i < n; ++i, left += 4, right += 4, o += 4) {
    const int yl = anaglyph::brightness_key(left), yr = anaglyph::brightness_key(right);
    // Both pixels are read before out, which may be one of them, is written.
    const unsigned char px[4] = {red(yl), green(yr), blue(yr), left[3] > right[3] ? left[3] : right[3]};
    std::memcpy(o, px, 4);
  }
}

SEQFX_STANDARD_ENTRIES(g_name, varstr, g_cfra, plugin_seq_doit)
