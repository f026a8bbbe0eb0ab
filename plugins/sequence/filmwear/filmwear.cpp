// filmwear: makes one strip look like worn film. The picture turns grey
// (with alpha 0), random single pixels drop out to black, and one black
// vertical scratch wanders sideways from call to call. The scratch's
// position and speed live in this file and are never reset, so the path
// depends on how many frames were rendered before, not on the frame number.

#include "colour_sum.h"
#include "frame_extent.h"
#include "seqfx_module.h"

#include <emmintrin.h>

#include <cstdio>
#include <cstdlib>
#include <cstdint>
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

// Grey by channel sum, divided by 3 and truncated, with alpha 0; black
// where marked. Four pixels at a time: the sum (at most 765) times 43691,
// shifted down 17 bits, is the quotient. Kept out of line: inlined into
// the caller, its vector constants would be reloaded for every draw.
__attribute__((noinline)) void grey_row(const unsigned char *src, const unsigned char *black, unsigned char *dst, int n) {
  const __m128i third = _mm_set1_epi32(43691);
  int x = 0;
  for (; x + 4 <= n; x += 4) {
    const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 4 * x));
    const __m128i sum = seqfx_common::colour_sum4(px);
    const __m128i g = _mm_srli_epi32(_mm_mulhi_epu16(sum, third), 1);
    std::uint32_t marks;
    std::memcpy(&marks, black + x, 4);
    const __m128i m = _mm_cmpeq_epi32(
        _mm_and_si128(_mm_set1_epi32((int)marks), _mm_set_epi32((int)0xFF000000u, 0xFF0000, 0xFF00, 0xFF)),
        _mm_setzero_si128());
    const __m128i v = _mm_and_si128(g, m);
    const __m128i out = _mm_or_si128(_mm_or_si128(v, _mm_slli_epi32(v, 8)), _mm_slli_epi32(v, 16));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * x), out);
  }
  for (; x < n; ++x) {
    const unsigned char v = black[x] ? 0 : (unsigned char)((src[4 * x] + src[4 * x + 1] + src[4 * x + 2]) / 3);
    const unsigned char px[4] = {v, v, v, 0};
    std::memcpy(dst + 4 * x, px, 4);
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

  // The frame is width x height; only the part inside both images is
  // walked, each with its own row length. A row goes in runs of pixels:
  // each run first takes its draws, one per pixel in column order with none
  // for the scratch column, then gets its bytes. Bytes draw nothing, so the
  // draws come in the order of a walk pixel by pixel.
  const seqfx_extent::Extent e = seqfx_extent::common_extent(width, height, {ibuf1, out});
  const int scratch_col = width - 1 - scratchx;
  constexpr int kRun = 4096;
  unsigned char black[kRun];
  for (int y = 0; y < e.rows; ++y) {
    const unsigned char *src = seqfx_extent::row(ibuf1, y);
    unsigned char *dst = seqfx_extent::row(out, y);
    for (int x0 = 0; x0 < e.cols; x0 += kRun) {
      const int n = e.cols - x0 < kRun ? e.cols - x0 : kRun;
      for (int j = 0; j < n; ++j) black[j] = x0 + j == scratch_col || draw() < threshold;
      grey_row(src + 4 * x0, black, dst + 4 * x0, n);
    }
  }
}

SEQFX_STANDARD_ENTRIES("Filmwear", varstr, cfra, plugin_seq_doit)
