// cartoon: blacks out the pixels that lie on a colour edge of one strip and
// optionally flattens the others to a few levels and boosts them to full
// brightness. Edges are found between opposite neighbours at a chosen
// distance, on flattened and boosted copies of them, so that they follow
// the flattened colour regions.

#include "seqfx_module.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int triplevel;  // a contrast above this is an edge
  int diffspace;  // distance of the neighbours compared
  int flatten;
  int boost;
};

// Bytes 0..2 to multiples of 40 (0, 40, ..., 240); byte 3 untouched.
void FlattenColor(unsigned char *px) {
  for (int c = 0; c < 3; ++c) px[c] = (unsigned char)(px[c] / 40 * 40);
}

// Bytes 0..2 scaled so that the largest becomes 255; a black pixel is left
// alone; byte 3 untouched.
void ColorBoost(unsigned char *px) {
  int m = px[0];
  if (px[1] > m) m = px[1];
  if (px[2] > m) m = px[2];
  if (m == 0) return;
  for (int c = 0; c < 3; ++c) px[c] = (unsigned char)(px[c] * 255 / m);
}

// ColorBoost as a table: for every largest channel m the boosted value
// v * 255 / m of every v <= m; row 0 (a black pixel) keeps its values.
struct BoostTable {
  unsigned char value[256 * 256];
};
constexpr BoostTable make_boost_table() {
  BoostTable t{};
  for (int v = 0; v < 256; ++v) t.value[v] = (unsigned char)v;
  for (int m = 1; m < 256; ++m)
    for (int v = 0; v <= m; ++v) t.value[m * 256 + v] = (unsigned char)(v * 255 / m);
  return t;
}
constexpr BoostTable kBoost = make_boost_table();

// Sum of the squared differences of all four bytes, alpha included.
inline int geterror(const unsigned char *a, const unsigned char *b) {
  const int d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2], d3 = a[3] - b[3];
  return d0 * d0 + d1 * d1 + d2 * d2 + d3 * d3;
}

// The toned copy of a pixel that pairs are compared on and that non-edge
// pixels become: flattened, then boosted, as the toggles say.
inline void tone(unsigned char *px, const Params *p) {
  if (p->flatten) FlattenColor(px);
  if (p->boost) ColorBoost(px);
}

// Largest distance between the opposite neighbour pairs of pixel (x, y) at
// distance d that lie inside the frame, each compared on toned copies; 0
// when no pair fits. pix holds width x height pixels.
int GetMaxContrast(const unsigned char *pix, int x, int y, int width, int height, const Params *p,
                   int d) {
  const bool horizontal = x - d >= 0 && x + d <= width - 1;
  const bool vertical = y - d >= 0 && y + d <= height - 1;
  auto at = [&](int px, int py) { return pix + 4 * ((long)py * width + px); };
  int result = 0;
  auto pair = [&](const unsigned char *a, const unsigned char *b) {
    unsigned char ca[4], cb[4];
    std::memcpy(ca, a, 4);
    std::memcpy(cb, b, 4);
    tone(ca, p);
    tone(cb, p);
    const int e = geterror(ca, cb);
    if (e > result) result = e;
  };
  if (horizontal) pair(at(x - d, y), at(x + d, y));
  if (vertical) pair(at(x, y - d), at(x, y + d));
  if (horizontal && vertical) {
    pair(at(x - d, y - d), at(x + d, y + d));
    pair(at(x + d, y - d), at(x - d, y + d));
  }
  return result;
}

#if defined(__SSE2__)
// geterror of four pixels side by side: a[i] against b[i], i = 0..3.
inline __m128i geterror4(const unsigned char *a, const unsigned char *b) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a));
  const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b));
  // Differences as 16-bit values; madd sums the squares of byte pairs
  // (0, 1) and (2, 3) of each pixel into one 32-bit lane each.
  const __m128i dlo = _mm_sub_epi16(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero));
  const __m128i dhi = _mm_sub_epi16(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero));
  const __m128 slo = _mm_castsi128_ps(_mm_madd_epi16(dlo, dlo));  // p0 p0 p1 p1
  const __m128 shi = _mm_castsi128_ps(_mm_madd_epi16(dhi, dhi));  // p2 p2 p3 p3
  const __m128i first = _mm_castps_si128(_mm_shuffle_ps(slo, shi, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128i second = _mm_castps_si128(_mm_shuffle_ps(slo, shi, _MM_SHUFFLE(3, 1, 3, 1)));
  return _mm_add_epi32(first, second);
}
#endif

// Keeps the toned pixel, or blacks it out (alpha 0 too) when its contrast
// is above the threshold.
inline void emit(const unsigned char *toned, unsigned char *out, int contrast, int triplevel) {
  std::uint32_t v;
  std::memcpy(&v, toned, 4);
  if (contrast > triplevel) v = 0;
  std::memcpy(out, &v, 4);
}

// The whole frame with the toned pixels taken once: t holds the toned copy
// of every input pixel, so each pair costs four squared differences.
// Columns d .. width - 1 - d have a horizontal pair, rows d .. height - 1 - d
// a vertical one; the diagonals need both.
void cartoon_frame(const unsigned char *t, unsigned char *dst, int width, int height, int d,
                   int triplevel) {
  const long w = width;
  const int x0 = d < width ? d : width;                // first column with a horizontal pair
  const int x1 = width - d > x0 ? width - d : x0;      // one past the last
  for (int y = 0; y < height; ++y) {
    const bool vertical = y - d >= 0 && y + d <= height - 1;
    const unsigned char *row = t + 4 * (y * w);
    unsigned char *out = dst + 4 * (y * w);
    if (!vertical) {
      for (int x = 0; x < x0; ++x) emit(row + 4 * x, out + 4 * x, 0, triplevel);
      for (int x = x0; x < x1; ++x)
        emit(row + 4 * x, out + 4 * x, geterror(row + 4 * (x - d), row + 4 * (x + d)), triplevel);
      for (int x = x1; x < width; ++x) emit(row + 4 * x, out + 4 * x, 0, triplevel);
      continue;
    }
    const unsigned char *up = t + 4 * ((y + d) * w);
    const unsigned char *down = t + 4 * ((y - d) * w);
    for (int x = 0; x < x0; ++x)
      emit(row + 4 * x, out + 4 * x, geterror(down + 4 * x, up + 4 * x), triplevel);
    int x = x0;
#if defined(__SSE2__)
    const __m128i thr = _mm_set1_epi32(triplevel);
    for (; x + 4 <= x1; x += 4) {
      const __m128i edge = _mm_or_si128(
          _mm_or_si128(_mm_cmpgt_epi32(geterror4(row + 4 * (x - d), row + 4 * (x + d)), thr),
                       _mm_cmpgt_epi32(geterror4(down + 4 * x, up + 4 * x), thr)),
          _mm_or_si128(_mm_cmpgt_epi32(geterror4(down + 4 * (x - d), up + 4 * (x + d)), thr),
                       _mm_cmpgt_epi32(geterror4(down + 4 * (x + d), up + 4 * (x - d)), thr)));
      const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + 4 * x));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * x), _mm_andnot_si128(edge, px));
    }
#endif
    for (; x < x1; ++x) {
      int c = geterror(row + 4 * (x - d), row + 4 * (x + d));
      const int e = geterror(down + 4 * x, up + 4 * x);
      const int e1 = geterror(down + 4 * (x - d), up + 4 * (x + d));
      const int e2 = geterror(down + 4 * (x + d), up + 4 * (x - d));
      c = e > c ? e : c;
      c = e1 > c ? e1 : c;
      c = e2 > c ? e2 : c;
      emit(row + 4 * x, out + 4 * x, c, triplevel);
    }
    for (int x = x1; x < width; ++x)
      emit(row + 4 * x, out + 4 * x, geterror(down + 4 * x, up + 4 * x), triplevel);
  }
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "cartoon";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("In: 1 strip"),
    SEQFX_FIELD(triplevel, PLUGIN_CODE_NUMBER_INT, "triplevel", 150, 1, 255,
                "Threshold for Blackness"),
    SEQFX_FIELD(diffspace, PLUGIN_CODE_NUMBER_INT, "diffspace", 1, 1, 255,
                "Pixel distance away to check"),
    SEQFX_FIELD(flatten, PLUGIN_CODE_TOGGLE, "Flatten", 1, 0, 1, "Flatten the colors"),
    SEQFX_FIELD(boost, PLUGIN_CODE_TOGGLE, "Boost", 1, 0, 1, "Boost the colors"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  // The frame is width x height. Nothing is done without both pixel planes,
  // or when an image holds fewer pixels than the frame: every read and
  // write stays inside the images.
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect || width <= 0 || height <= 0) return;
  const long n = (long)width * height;
  if ((long)ibuf1->xsize * ibuf1->ysize < n || (long)out->xsize * out->ysize < n) return;
  // A distance outside the table's 1..255 would compare a pixel with itself
  // (0) or, negative, reach outside the frame: it is limited to 1..255.
  int d = p->diffspace;
  if (d < 1) d = 1;
  if (d > 255) d = 255;

  const unsigned char *src = ibuf1->rect;
  // Toning is a function of the pixel alone, so the toned copies are taken
  // once per pixel into a scratch frame instead of once per pair; the result
  // is the same. The scratch frame also keeps the input intact when out is
  // the input image itself.
  unsigned char *t = static_cast<unsigned char *>(std::malloc((size_t)n * 4));
  if (!t) {
    // Without the scratch frame, pair by pair on fresh copies (an input that
    // is also the output would then be read after being written: refused).
    if (out->rect == src) return;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        unsigned char *o = out->rect + 4 * ((long)y * width + x);
        if (GetMaxContrast(src, x, y, width, height, p, d) > p->triplevel) {
          std::memset(o, 0, 4);
        } else {
          std::memcpy(o, src + 4 * ((long)y * width + x), 4);
          tone(o, p);
        }
      }
    return;
  }

  if (p->flatten || p->boost) {
    // The flattened level of every byte value; boosting looks up the table
    // made at compile time.
    unsigned char flat[256];
    for (int v = 0; v < 256; ++v) flat[v] = (unsigned char)(p->flatten ? v / 40 * 40 : v);
    const unsigned char *boost = p->boost ? kBoost.value : nullptr;
    for (long k = 0; k < n; ++k) {
      unsigned char px[4] = {flat[src[4 * k]], flat[src[4 * k + 1]], flat[src[4 * k + 2]],
                             src[4 * k + 3]};
      if (boost) {
        int m = px[0];
        if (px[1] > m) m = px[1];
        if (px[2] > m) m = px[2];
        const unsigned char *row = boost + 256 * m;
        px[0] = row[px[0]];
        px[1] = row[px[1]];
        px[2] = row[px[2]];
      }
      std::memcpy(t + 4 * k, px, 4);
    }
  } else {
    std::memcpy(t, src, (size_t)n * 4);
  }
  cartoon_frame(t, out->rect, width, height, d, p->triplevel);
  std::free(t);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
