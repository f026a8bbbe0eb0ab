// phosphor: imitates the phosphor mask of a colour display. Every pixel
// keeps one colour channel, chosen by a small repeating pattern laid over
// the frame; the others become 0, or, in additive mode, the kept channel is
// doubled (at most 255) and the others stay as they were.

#include "frame_extent.h"
#include "patterns.h"
#include "seqfx_module.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

using phosphor::Pattern;
using phosphor::patterns;

// One 4-byte slot per table row.
struct Params {
  int title, credit, gap1;
  int pattern;   // row 3: 0..8
  int gap2;
  int additive;  // row 5
  int rotate;    // row 6
};

// A row's mask repeats every period pixels; it is stored over
// lcm(period, 4) pixels so that it can be applied 16 bytes at a time.
constexpr int kMaxMaskPixels = 4 * 18;
// Without rotate a row's line is row mod height (at most 18 different
// rows); with rotate its column is row mod width (at most 6).
constexpr int kMaxKinds = 18;

struct Masks {
  int pixels = 0;  // length of every mask, a multiple of 4
  unsigned char bytes[kMaxKinds][kMaxMaskPixels * 4];
};

int lcm4(int period) {
  return period % 4 == 0 ? period : period % 2 == 0 ? period * 2 : period * 4;
}

// For every kind of row, 0xFF on the channel the pattern keeps, and on
// alpha too when the mask is used as a plain AND (non-additive): in & mask
// is the non-additive result, in + (in & mask) with saturation the additive.
void build_masks(const Pattern &pat, bool rotate, bool additive, Masks &m) {
  const int period = rotate ? pat.height : pat.width;
  const int kinds = rotate ? pat.width : pat.height;
  m.pixels = lcm4(period);
  for (int k = 0; k < kinds; ++k)
    for (int j = 0; j < m.pixels; ++j) {
      const int ch = rotate ? pat.channel(j % pat.height, k) : pat.channel(k, j % pat.width);
      unsigned char *px = m.bytes[k] + 4 * j;
      for (int c = 0; c < 3; ++c) px[c] = c == ch ? 0xFF : 0;
      px[3] = additive ? 0 : 0xFF;
    }
}

inline unsigned char apply(unsigned char in, unsigned char mask, bool additive) {
  if (!additive) return in & mask;
  const int v = in + (in & mask);
  return (unsigned char)(v > 255 ? 255 : v);
}

// One row: every pixel is read in full before its output is written, so
// the output may be the input image itself.
void render_row(const unsigned char *in, unsigned char *out, int cols, const unsigned char *mask,
                int mask_pixels, bool additive) {
  int x = 0, j = 0;
#ifdef __SSE2__
  for (; x + 4 <= cols; x += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 4 * x));
    const __m128i k =
        _mm_and_si128(v, _mm_loadu_si128(reinterpret_cast<const __m128i *>(mask + 4 * j)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * x), additive ? _mm_adds_epu8(v, k) : k);
    j += 4;
    if (j == mask_pixels) j = 0;
  }
#endif
  for (; x < cols; ++x) {
    unsigned char px[4];
    for (int c = 0; c < 4; ++c) px[c] = apply(in[4 * x + c], mask[4 * j + c], additive);
    std::memcpy(out + 4 * x, px, 4);
    if (++j == mask_pixels) j = 0;
  }
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "phosphor";
SEQFX_DATA float cfra;
}
// The second label row is a credit line naming the project.
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Phosphor"),
    SEQFX_LABEL("seqfx masks"),
    SEQFX_LABEL(""),
    SEQFX_FIELD(pattern, PLUGIN_CODE_NUMBER_INT, "pattern: ", 5, 0, 8, "RGB Pattern Mode (0-8)"),
    SEQFX_LABEL(""),
    SEQFX_FIELD(additive, PLUGIN_CODE_TOGGLE, "additive", 1, 0, 1, "toggle Additive mode"),
    SEQFX_FIELD(rotate, PLUGIN_CODE_TOGGLE, "rotate", 0, 0, 1, "rotate RGB pattern"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect) return;
  const Params *p = static_cast<const Params *>(params);
  // The frame is ibuf1's rows of out's pixels; each image is addressed with
  // its own row length and nothing outside either is touched.
  const seqfx_extent::Extent e =
      seqfx_extent::common_extent(out->xsize, ibuf1->ysize, {ibuf1, out});
  if (e.empty()) return;

  // A pattern number outside 0..8 is taken as the nearest pattern.
  const int last = phosphor::kPatterns - 1;
  const int number = p->pattern < 0 ? 0 : p->pattern > last ? last : p->pattern;
  const Pattern &pat = patterns[number];
  const bool rotate = p->rotate != 0, additive = p->additive != 0;
  Masks masks;
  build_masks(pat, rotate, additive, masks);

  for (int r = 0; r < e.rows; ++r) {
    const int kind = rotate ? r % pat.width : r % pat.height;
    render_row(seqfx_extent::row(ibuf1, r), seqfx_extent::row(out, r), e.cols, masks.bytes[kind],
               masks.pixels, additive);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
