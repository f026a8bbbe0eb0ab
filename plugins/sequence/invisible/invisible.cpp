// invisible: makes a subject look like a shimmering, see-through shape.
// Where the first strip (with the subject) differs from the second (the
// same scene without it) the subject is; pixels on the border of that
// region are, at random, replaced by a local average of the first strip.
//
// The window of a position (x, y) with radius r spans the columns
// max(x - r, 0) .. min(x + r, width) - 1 and the rows max(y - r, 0) ..
// min(y + r, height) - 1: 2r wide and high, one more pixel below the centre
// than above it. A pixel is on the border when it differs and some pixel
// of its window does not.
//
// Scanning every window directly costs (2r)^2 per subject pixel. Instead
// the frame is walked row by row while, per column, the number of
// differing pixels and the byte sums of the first strip over the window's
// rows are kept up to date; a prefix sum over those columns then gives any
// window's count and sums with two subtractions. A pixel is on the border
// exactly when its window holds fewer differing pixels than pixels, and
// the average is the window's byte sum over its pixel count, so output and
// random draws are those of the direct scan.

#include "colour_sum.h"
#include "seqfx_module.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using seqfx_module::pixel_count;

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int radius;  // "Edge Radius"
  float tolerance;
  int chance;  // "Chance Blur", percent
  float seed;
};

// Draws from the generator in the range 0..32767.
inline int rand15() { return std::rand() % 32768; }

bool present(const ImageBuffer *b) { return b && b->rect; }

inline int absdiff(int a, int b) { return a > b ? a - b : b - a; }

// True when the two pictures differ at pixel index i: the sum of the
// differences of red, green and blue (not alpha) exceeds the tolerance.
inline bool inrange(long i, const unsigned char *a, const unsigned char *b, const Params *p) {
  const unsigned char *pa = a + 4 * i, *pb = b + 4 * i;
  const int d = absdiff(pa[0], pb[0]) + absdiff(pa[1], pb[1]) + absdiff(pa[2], pb[2]);
  return (float)d > p->tolerance;
}

// The running column totals over the rows of the current window, and their
// prefix sums along the row. Sums are kept modulo 2^32: a window holds at
// most 4000 x 4000 pixels, whose byte sum stays below 2^32, so the
// difference of two prefix sums is exact.
// mask[i] = inrange(i) for n pixels, four at a time: the absolute byte
// differences (saturating differences both ways), summed per pixel over
// the three colour bytes, compared as floats with the tolerance.
void difference_mask(const unsigned char *a, const unsigned char *b, unsigned char *mask, long n,
                     const Params *p) {
  const __m128i one = _mm_set1_epi32(1);
  const __m128 tol = _mm_set1_ps(p->tolerance);
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + 4 * i));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + 4 * i));
    const __m128i d = _mm_or_si128(_mm_subs_epu8(va, vb), _mm_subs_epu8(vb, va));
    const __m128i sum = seqfx_common::colour_sum4(d);
    const __m128i over = _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(sum), tol));
    const __m128i bit = _mm_and_si128(over, one);  // 1 or 0 per pixel
    const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(bit, bit), bit));
    std::memcpy(mask + i, &bytes, 4);
  }
  for (; i < n; ++i) mask[i] = inrange(i, a, b, p);
}

struct Columns {
  int width = 0;
  uint32_t *count = nullptr;       // differing pixels per column
  uint32_t *sum = nullptr;         // 4 byte sums per column
  uint32_t *count_prefix = nullptr;  // width + 1
  uint32_t *sum_prefix = nullptr;    // 4 x (width + 1), channel-major

  bool allocate(int w) {
    width = w;
    const size_t n = (size_t)w + 1;
    count = (uint32_t *)std::calloc(n, sizeof(uint32_t));
    sum = (uint32_t *)std::calloc(4 * n, sizeof(uint32_t));
    count_prefix = (uint32_t *)std::calloc(n, sizeof(uint32_t));
    sum_prefix = (uint32_t *)std::calloc(4 * n, sizeof(uint32_t));
    return count && sum && count_prefix && sum_prefix;
  }
  ~Columns() {
    std::free(count);
    std::free(sum);
    std::free(count_prefix);
    std::free(sum_prefix);
  }

  // Adds (sign +1) or removes (-1) one row of the mask and the picture.
  void change_row(const unsigned char *mask_row, const unsigned char *px_row, bool sums,
                  uint32_t sign) {
    for (int x = 0; x < width; ++x) count[x] += sign * mask_row[x];
    if (!sums) return;
    for (int x = 0; x < 4 * width; ++x) sum[x] += sign * px_row[x];
  }
  void build_count_prefix() {
    uint32_t run = 0;
    count_prefix[0] = 0;
    for (int x = 0; x < width; ++x) count_prefix[x + 1] = run += count[x];
  }
  void build_sum_prefix() {
    const size_t n = (size_t)width + 1;
    for (int k = 0; k < 4; ++k) {
      uint32_t *pre = sum_prefix + k * n;
      uint32_t run = 0;
      pre[0] = 0;
      for (int x = 0; x < width; ++x) pre[x + 1] = run += sum[4 * x + k];
    }
  }
};

// True when the pixel differs and its window [lo, hi) of columns, over the
// current rows, holds a pixel that does not.
inline bool edge(bool differs, const Columns &c, int lo, int hi, uint32_t area) {
  return differs && c.count_prefix[hi] - c.count_prefix[lo] < area;
}

// The mean of byte k over the window, truncated.
inline unsigned char get_color(int k, const Columns &c, int lo, int hi, uint32_t area) {
  const uint32_t *pre = c.sum_prefix + (size_t)k * ((size_t)c.width + 1);
  return (unsigned char)((pre[hi] - pre[lo]) / area);
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Invisible";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("In: 1 strip"),
    SEQFX_FIELD(radius, PLUGIN_CODE_NUMBER_INT, "Edge Radius", 7, 1, 2000, "EdgeZone"),
    SEQFX_FIELD(tolerance, PLUGIN_CODE_NUMBER_FLOAT, "Tolerance", 10, 0, 255, ""),
    SEQFX_FIELD(chance, PLUGIN_CODE_NUMBER_INT, "Chance Blur", 75, 0, 100, ""),
    SEQFX_FIELD(seed, PLUGIN_CODE_NUMBER_FLOAT, "Seed", 0.1, 0, 1, ""));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  // The label says one strip, but the effect compares two. A missing image
  // is named on the console and the output is left as it is.
  bool ok = true;
  if (!present(ibuf1)) std::printf("invisible: no ibuf1!\n"), ok = false;
  if (!present(ibuf2)) std::printf("invisible: no ibuf2!\n"), ok = false;
  if (!present(out)) std::printf("invisible: no output image!\n"), ok = false;
  if (!ok || width <= 0 || height <= 0) return;
  const long n = (long)width * height;
  if (pixel_count(ibuf1) < n || pixel_count(ibuf2) < n || pixel_count(out) < n) {
    std::printf("invisible: images smaller than the frame!\n");
    return;
  }

  // Seed truncated toward zero; values the conversion cannot hold count as 0.
  const float seed = p->seed;
  std::srand(seed >= 1.0f && seed < 4294967296.0f ? (unsigned)seed : 0u);

  const unsigned char *a = ibuf1->rect, *b = ibuf2->rect;
  unsigned char *dst = out->rect;
  const int r = p->radius;
  const bool blur = p->chance > 0;

  unsigned char *mask = (unsigned char *)std::malloc((size_t)n);
  Columns cols;
  if (!mask || !cols.allocate(width)) {
    std::free(mask);
    std::printf("invisible: out of memory!\n");
    return;
  }
  difference_mask(a, b, mask, n, p);

  // Rows [row_lo, row_hi) are summed into the columns.
  int row_lo = 0, row_hi = 0;
  for (int y = 0; y < height; ++y) {
    // A radius below 1 (outside the table) leaves every window empty and
    // no pixel on a border.
    const long long lo_y = r > 0 && y > r ? (long long)y - r : 0;
    const long long hi_y = r > 0 ? ((long long)y + r < height ? (long long)y + r : height) : 0;
    for (; row_hi < hi_y; ++row_hi)
      cols.change_row(mask + (size_t)row_hi * width, a + 4 * (size_t)row_hi * width, blur, 1u);
    for (; row_lo < lo_y && row_lo < row_hi; ++row_lo)
      cols.change_row(mask + (size_t)row_lo * width, a + 4 * (size_t)row_lo * width, blur,
                      (uint32_t)-1);

    const size_t row = (size_t)y * width;
    std::memcpy(dst + 4 * row, a + 4 * row, 4 * (size_t)width);
    if (r <= 0 || !std::memchr(mask + row, 1, (size_t)width)) continue;
    cols.build_count_prefix();
    bool sums_ready = false;
    const uint32_t rows = (uint32_t)(hi_y - lo_y);
    for (int x = 0; x < width; ++x) {
      const int lo = x > r ? x - r : 0;
      const int hi = (long long)x + r < width ? x + r : width;
      const uint32_t area = (uint32_t)(hi - lo) * rows;
      if (!edge(mask[row + x] != 0, cols, lo, hi, area)) continue;
      // Only border pixels draw, in scan order.
      if (rand15() % 100 >= p->chance) continue;
      if (!sums_ready) cols.build_sum_prefix(), sums_ready = true;
      unsigned char *o = dst + 4 * (row + x);
      for (int k = 0; k < 4; ++k) o[k] = get_color(k, cols, lo, hi, area);
    }
  }
  std::free(mask);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
