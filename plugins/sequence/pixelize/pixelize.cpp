// pixelize: divides the picture of one strip into rectangular cells and
// fills each cell of the output with the cell's average colour, alpha
// included. Cells at the right and top edges are cut to the picture and
// averaged over what is left of them.

#include "seqfx_module.h"
#include "stable_source.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// One 4-byte slot per table row.
struct Params {
  int label_in;
  int width, height;  // rows 1, 2: cell size in pixels
  int animated;       // row 3: the cell size follows factor0
};

// The cell size: the sliders, or with "Animated" factor0 (at most 1) times
// 32, rounded to the nearest whole pixel. Sizes below 1 (a factor of 0, a
// slot below the slider's range, a factor that is not a number) become 1.
// Sizes beyond the frame are held at it: such a cell is cut to the frame
// anyway.
struct CellSize {
  int w, h;
};

int at_least_one(int v, int most) { return v < 1 ? 1 : (v > most ? most : v); }

CellSize cell_size(const Params &p, float factor0, int cols, int rows) {
  if (!p.animated) return {at_least_one(p.width, cols), at_least_one(p.height, rows)};
  const float f = factor0 > 1 ? 1.0f : factor0;
  const double s = (double)(f * 32) + 0.5;
  const int n = s >= 1 ? (int)s : 1;
  return {at_least_one(n, cols), at_least_one(n, rows)};
}

// Truncating division of channel sums by a fixed pixel count d, as a
// multiplication by ceil(2^32 / d): exact while sum * d < 2^32, which holds
// for sums of d bytes whenever d < 4104.
class Divider {
 public:
  explicit Divider(std::uint64_t d)
      : d_(d), m_(d < 4104 ? ((std::uint64_t(1) << 32) + d - 1) / d : 0) {}
  std::uint64_t operator()(std::uint64_t sum) const { return m_ ? quick(sum) : sum / d_; }
  // Whether quick() divides exactly: true for d < 4104.
  bool fast() const { return m_ != 0; }
  std::uint64_t quick(std::uint64_t sum) const { return (sum * m_) >> 32; }

 private:
  std::uint64_t d_, m_;
};

// Four channel sums side by side.
typedef std::uint32_t Sums __attribute__((vector_size(16)));

inline Sums column(const std::uint32_t *sums, int x) {
  Sums v;
  std::memcpy(&v, sums + 4 * x, sizeof v);
  return v;
}

// Adds n bytes to n column sums, sixteen at a time where SSE2 is there.
inline void add_row(std::uint32_t *sums, const unsigned char *row, int n) {
  int i = 0;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + i));
    const __m128i lo = _mm_unpacklo_epi8(b, zero), hi = _mm_unpackhi_epi8(b, zero);
    const __m128i add[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                            _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
    for (int k = 0; k < 4; ++k) {
      __m128i *s = reinterpret_cast<__m128i *>(sums + i + 4 * k);
      _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), add[k]));
    }
  }
#endif
  for (; i < n; ++i) sums[i] += row[i];
}

// One band of cell rows: the per-column sums of the band's source rows,
// then the cells of the band's first output row, copied to its other rows.
// Column sums stay below 2^32: a band has at most 32767 rows of bytes.
struct Band {
  const unsigned char *src;
  int src_w, src_h;  // the input's own size
  unsigned char *dst;
  int dst_w;
  int cols;  // columns written: the frame cut to the output
  std::vector<std::uint32_t> sums;  // four per column

  void run(int y0, int y1, CellSize cell, const Divider &full) {
    // Source rows of the band that exist; a band beyond a smaller input
    // has none.
    const int sy1 = y1 < src_h ? y1 : src_h;
    const int scols = cols < src_w ? cols : src_w;
    const int src_rows = sy1 > y0 ? sy1 - y0 : 0;
    std::uint32_t *s = sums.data();
    std::memset(s, 0, 16 * (size_t)scols);
    for (int y = y0; y < sy1; ++y) add_row(s, src + 4 * (long)y * src_w, 4 * scols);
    unsigned char *first = dst + 4 * (long)y0 * dst_w;
    // Whole cells: full width and height, all inside the input, and small
    // enough for the fast division (any the sliders allow).
    const bool full_height = y1 - y0 == cell.h && src_rows == cell.h && full.fast();
    const int whole_end = full_height ? scols / cell.w * cell.w : 0;
    if (cell.w == 2)
      whole_cells<2>(s, first, whole_end, cell.w, full);
    else
      whole_cells<0>(s, first, whole_end, cell.w, full);
    int x0 = whole_end;
    // Cells cut by the edges of the frame or of the input.
    for (; x0 < cols; x0 += cell.w) {
      const int x1 = cols - x0 > cell.w ? x0 + cell.w : cols;
      const int sx1 = x1 < scols ? x1 : scols;
      const std::uint64_t n = (std::uint64_t)(sx1 > x0 ? sx1 - x0 : 0) * src_rows;
      std::uint64_t t[4] = {0, 0, 0, 0};
      for (int x = x0; x < sx1; ++x)
        for (int c = 0; c < 4; ++c) t[c] += s[4 * x + c];
      const std::uint32_t px = n ? pack(t[0] / n, t[1] / n, t[2] / n, t[3] / n) : 0;
      for (int x = x0; x < x1; ++x) std::memcpy(first + 4 * x, &px, 4);
    }
    for (int y = y0 + 1; y < y1; ++y)
      std::memcpy(dst + 4 * (long)y * dst_w, first, 4 * (size_t)cols);
  }

  // The cells from column 0 to `end` (a multiple of the width cw, or of W
  // when W is not 0), each written into the band's first output row.
  template <int W>
  static void whole_cells(const std::uint32_t *s, unsigned char *first, int end, int cw,
                          const Divider &full) {
    const int w = W ? W : cw;
    for (int x0 = 0; x0 < end; x0 += w) {
      Sums t = column(s, x0);
      for (int x = x0 + 1; x < x0 + w; ++x) t += column(s, x);
      const std::uint32_t px = pack(full.quick(t[0]), full.quick(t[1]), full.quick(t[2]),
                                    full.quick(t[3]));
      for (int x = x0; x < x0 + w; ++x) std::memcpy(first + 4 * x, &px, 4);
    }
  }

  // Four channel bytes in pixel order, as one 4-byte value.
  static std::uint32_t pack(std::uint64_t r, std::uint64_t g, std::uint64_t b, std::uint64_t a) {
    const unsigned char px[4] = {(unsigned char)r, (unsigned char)g, (unsigned char)b,
                                 (unsigned char)a};
    std::uint32_t v;
    std::memcpy(&v, px, 4);
    return v;
  }
};

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Pixelize";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 1 strip"),
    SEQFX_FIELD(width, PLUGIN_CODE_SLIDER_INT, "Width: ", 2, 1, 32, "Pixel width"),
    SEQFX_FIELD(height, PLUGIN_CODE_SLIDER_INT, "Height: ", 2, 1, 32, "Pixel height"),
    SEQFX_FIELD(animated, PLUGIN_CODE_TOGGLE, "Animated", 0, 0, 1,
                "Use IPO to control pixel size"));

// Cells are laid over the frame (width x height) cut to the output. A
// cell's average is taken over its pixels that the input holds; a cell the
// input does not reach at all becomes transparent black.
SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect) return;
  const Params *p = static_cast<const Params *>(params);
  const int cols = width < out->xsize ? width : out->xsize;
  const int rows = height < out->ysize ? height : out->ysize;
  if (cols <= 0 || rows <= 0) return;
  const CellSize cell = cell_size(*p, factor0, cols, rows);

  seqfx_common::StableSource source(ibuf1, out, "Pixelize");
  if (!source.pixels()) return;
  Band band{source.pixels(), ibuf1->xsize > 0 ? ibuf1->xsize : 0,
            ibuf1->ysize > 0 ? ibuf1->ysize : 0, out->rect, out->xsize, cols,
            std::vector<std::uint32_t>(4 * (size_t)cols)};
  const Divider full((std::uint64_t)cell.w * (std::uint64_t)cell.h);
  for (int y0 = 0; y0 < rows; y0 += cell.h) {
    const int y1 = rows - y0 > cell.h ? y0 + cell.h : rows;
    band.run(y0, y1, cell, full);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
