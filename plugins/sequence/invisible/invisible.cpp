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

#include "seqfx_module.h"

#include "difference_mask.h"
#include "window_sums.h"

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

using invisible::Columns;

// The mean of byte k over the window, truncated; the low 8 bits are kept.
inline unsigned char get_color(int k, const Columns &c, int lo, int hi, uint32_t area) {
  return (unsigned char)(c.window_sum(k, lo, hi) / area);
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
  unsigned char *flag = (unsigned char *)std::malloc((size_t)width);
  Columns cols;
  if (!mask || !flag || !cols.allocate(width)) {
    std::free(mask);
    std::free(flag);
    std::printf("invisible: out of memory!\n");
    return;
  }
  invisible::difference_mask(a, b, mask, n, p->tolerance);

  // Rows [row_lo, row_hi) are summed into the columns.
  int row_lo = 0, row_hi = 0;
  for (int y = 0; y < height; ++y) {
    // A radius below 1 (outside the table) leaves every window empty and
    // no pixel on a border.
    const long long lo_y = r > 0 && y > r ? (long long)y - r : 0;
    const long long hi_y = r > 0 ? ((long long)y + r < height ? (long long)y + r : height) : 0;
    const int new_hi = hi_y > row_hi ? (int)hi_y : row_hi;
    const int new_lo = lo_y > row_lo ? (int)(lo_y < new_hi ? lo_y : new_hi) : row_lo;
    // A row coming in and one going out are done in one pass over the
    // columns.
    while (row_hi < new_hi || row_lo < new_lo) {
      const size_t in = (size_t)row_hi * width, out = (size_t)row_lo * width;
      const bool adding = row_hi < new_hi, removing = row_lo < new_lo;
      cols.change_rows(adding ? mask + in : nullptr, adding ? a + 4 * in : nullptr,
                       removing ? mask + out : nullptr, removing ? a + 4 * out : nullptr, blur);
      row_hi += adding;
      row_lo += removing;
    }

    const size_t row = (size_t)y * width;
    std::memcpy(dst + 4 * row, a + 4 * row, 4 * (size_t)width);
    if (r <= 0 || !std::memchr(mask + row, 1, (size_t)width)) continue;
    cols.build_count_prefix();
    bool sums_ready = false;
    const uint32_t rows = (uint32_t)(hi_y - lo_y);
    // Only border pixels draw, in scan order.
    auto draw = [&](int x, int lo, int hi, uint32_t area) {
      if (rand15() % 100 >= p->chance) return;
      if (!sums_ready) cols.build_sum_prefix(), sums_ready = true;
      unsigned char *o = dst + 4 * (row + x);
      for (int k = 0; k < 4; ++k) o[k] = get_color(k, cols, lo, hi, area);
    };
    // Columns whose window is cut by the row's ends, one at a time.
    auto clipped = [&](int x) {
      const int lo = x > r ? x - r : 0;
      const int hi = (long long)x + r < width ? x + r : width;
      const uint32_t area = (uint32_t)(hi - lo) * rows;
      if (mask[row + x] && cols.window_count(lo, hi) < area) draw(x, lo, hi, area);
    };
    // Columns [inner_lo, inner_hi) have whole windows, 2r wide: their
    // border test runs over the row at once.
    const int inner_lo = (long long)r + 1 < width ? r + 1 : width;
    const int inner_hi = (long long)width - r > inner_lo ? width - r : inner_lo;
    const uint32_t inner_area = 2u * (uint32_t)r * rows;
    invisible::border_flags(cols, mask + row, r, inner_area, inner_lo, inner_hi, flag);
    for (int x = 0; x < inner_lo; ++x) clipped(x);
    for (int x = inner_lo; x < inner_hi;) {
      uint64_t eight;
      if (x + 8 <= inner_hi && (std::memcpy(&eight, flag + x, 8), eight == 0)) {
        x += 8;
        continue;
      }
      if (flag[x]) draw(x, x - r, x + r, inner_area);
      ++x;
    }
    for (int x = inner_hi; x < width; ++x) clipped(x);
  }
  std::free(mask);
  std::free(flag);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
