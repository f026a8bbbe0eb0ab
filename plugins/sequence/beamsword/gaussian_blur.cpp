#include "gaussian_blur.h"

#include "block_runs.h"
#include "pixel_lines.h"
#include "row_sums.h"
#include "scratch.h"
#include "weighted_sum.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include <emmintrin.h>

using seqfx_common::alloc_floats;
using seqfx_common::gather;
using seqfx_common::kRowSums;
using seqfx_common::row_sums;
using seqfx_common::prefetch_row;
using seqfx_common::spread;
using seqfx_common::store_floats;
using seqfx_common::sum_runs;
using seqfx_common::weighted_sum;

namespace {

// Lines hold R, G, B of each pixel side by side as floats. They are summed
// in blocks of kBlock values (whole pixels); a block whose every tap reads
// the same value in each lane takes that value's flat sum instead.
constexpr int kBlock = 48;

// Weights of the offsets -n .. n (entry k for offset k - n), normalised by
// their sum taken in that order. The centre weight is exp(0) = 1; it is set
// as such because a size so small that K becomes infinite would make it
// exp(-inf * 0), not a number.
void make_weights(float *weight, int n, float amount) {
  const float K = (float)(-1.0 / (3.14159 * 2.0 * amount * amount));
  float sum = 0.0f;
  for (int i = -n; i <= n; ++i) {
    weight[i + n] = i == 0 ? 1.0f : (float)std::exp((double)(K * (float)(i * i)));
    sum += weight[i + n];
  }
  for (int k = 0; k <= 2 * n; ++k) weight[k] = weight[k] / sum;
}

void copy_colour(const unsigned char *src, unsigned char *dst, std::size_t pixels) {
  if (src == dst) return;
  for (std::size_t i = 0; i < pixels; ++i)
    for (int c = 0; c < 3; ++c) dst[i * 4 + c] = src[i * 4 + c];
}

// Writes the pixel r, g, b over count floats (whole pixels).
void fill_pixels(float *dst, int count, float r, float g, float b) {
  const __m128 p0 = _mm_setr_ps(r, g, b, r), p1 = _mm_setr_ps(g, b, r, g),
               p2 = _mm_setr_ps(b, r, g, b);
  int i = 0;
  for (; i + 12 <= count; i += 12) {
    _mm_storeu_ps(dst + i, p0);
    _mm_storeu_ps(dst + i + 4, p1);
    _mm_storeu_ps(dst + i + 8, p2);
  }
  for (; i < count; i += 3) {
    dst[i] = r;
    dst[i + 1] = g;
    dst[i + 2] = b;
  }
}

// Whether the count floats from line are all +0.0, the stored value of a
// black byte (stored bytes as floats are never -0.0).
bool all_zero(const float *line, int count) {
  std::uint32_t bits = 0;
  for (int i = 0; i < count; ++i) {
    std::uint32_t b;
    std::memcpy(&b, line + i, 4);
    bits |= b;
  }
  return bits == 0;
}

// Whether the count floats from line (whole pixels) all repeat its first
// pixel. Stored bytes as floats: equal values have equal bits.
bool one_pixel(const float *line, int count) {
  return std::memcmp(line, line + 3, sizeof(float) * (std::size_t)(count - 3)) == 0;
}

// Counts of colour changes along a row: before[x + 1] changes of R, G or B
// between neighbouring pixels among the first x + 1.
void count_changes(const unsigned char *row, int width, std::uint32_t *before) {
  before[0] = before[1] = 0;
  int x = 1;
  // Four pixels at a time against the four before them; a run with no
  // change (the common case: flat colour on black) repeats the count.
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
  for (; x + 4 <= width; x += 4) {
    const __m128i cur = _mm_loadu_si128((const __m128i *)(row + 4 * (std::size_t)x));
    const __m128i prev = _mm_loadu_si128((const __m128i *)(row + 4 * (std::size_t)x - 4));
    const __m128i same =
        _mm_cmpeq_epi32(_mm_and_si128(_mm_xor_si128(cur, prev), rgb), _mm_setzero_si128());
    const int mask = _mm_movemask_ps(_mm_castsi128_ps(same));
    std::uint32_t c = before[x];
    if (mask == 0xF) {
      _mm_storeu_si128((__m128i *)(before + x + 1), _mm_set1_epi32((int)c));
      continue;
    }
    for (int l = 0; l < 4; ++l) {
      c += ((mask >> l) & 1) ^ 1;
      before[x + 1 + l] = c;
    }
  }
  if (x >= width) return;
  std::uint32_t prev;
  std::memcpy(&prev, row + 4 * (std::size_t)(x - 1), 4);
  for (; x < width; ++x) {
    std::uint32_t px;
    std::memcpy(&px, row + 4 * (std::size_t)x, 4);
    unsigned char a[4], b[4];
    std::memcpy(a, &px, 4);
    std::memcpy(b, &prev, 4);
    before[x + 1] = before[x] + (a[0] != b[0] || a[1] != b[1] || a[2] != b[2]);
    prev = px;
  }
}

}  // namespace

int gaussianBlur(const unsigned char *src, unsigned char *dst, int width, int height,
                 float amount, int quality) {
  if (!(amount > 0.0f)) return 0;
  if (width <= 0 || height <= 0) return 1;
  const std::size_t W = (std::size_t)width, len = 3 * W;
  const int line = 3 * width;
  const float fn = (float)quality * amount;
  // Below 1 the kernel is the one tap. A window longer than any frame (only
  // outside the table, where i * i could overflow) is refused like memory
  // that cannot be had.
  const int n = fn >= 1.0f ? (fn <= 40000.0f ? (int)fn : -1) : 0, taps = 2 * n + 1;
  if (n < 0) {
    copy_colour(src, dst, W * (std::size_t)height);
    return 0;
  }

  // Horizontal results are kept for the 2n + kRowSums rows the vertical
  // window of kRowSums output rows can reach (row r in slot r % ring), each
  // a line of stored bytes as floats. Output rows y .. y+R-1 are written
  // once rows up to y+R-1 + n are done; the rows read later lie above them
  // and are still unchanged, so src may be dst.
  const int ring = taps + kRowSums - 1 < height ? taps + kRowSums - 1 : height;
  float *inter = alloc_floats((std::uint64_t)ring * len);
  // weights; the sum of a flat window of each byte value; the source row
  // with n repeated edge pixels at both ends and one float after them;
  // kRowSums output lines, each with the float after it.
  const std::size_t padded = len + 6 * (std::size_t)n + 1;
  // Then the stored values of those flat sums, and for this source row and
  // the one before it, per block, the stored colour a flat block was filled
  // with (R, G, B and 1, or 0 in the last place for a summed block).
  const int blocks = (line + kBlock - 1) / kBlock;
  float *scratch = alloc_floats((std::uint64_t)taps + 256 + padded + (len + 1) * kRowSums + 256 +
                                8 * (std::uint64_t)blocks);
  // the line pointers of the horizontal and the vertical taps.
  const float **lines =
      (const float **)std::malloc(sizeof(float *) * ((std::size_t)taps * 2 + kRowSums));
  // Per source row the running count of colour changes; per ring row and
  // block whether it differs from the row below, and per block whether any
  // row of the current window does.
  std::uint32_t *changes = (std::uint32_t *)std::malloc(sizeof(std::uint32_t) * (W + 1));
  unsigned char *changed =
      (unsigned char *)std::malloc((std::size_t)(ring + 1) * (std::size_t)blocks);
  if (!inter || !scratch || !lines || !changes || !changed) {
    std::free(inter);
    std::free(scratch);
    std::free(lines);
    std::free(changes);
    std::free(changed);
    copy_colour(src, dst, W * (std::size_t)height);
    return 0;
  }
  unsigned char *window_changed = changed + (std::size_t)ring * blocks;
  float *weight = scratch;
  float *flat = weight + taps;
  float *pad = flat + 256;
  float *outs[kRowSums];
  for (int s = 0; s < kRowSums; ++s) {
    outs[s] = pad + padded + (len + 1) * (std::size_t)s;
    outs[s][len] = 0.0f;
  }
  float *out = outs[0];
  static_assert(kRowSums == 4, "the flat blocks below fill four output lines");
  make_weights(weight, n, amount);
  // A window of one value v sums to flat[v], the same terms in the same
  // order. Marks are flat colour on black, so most windows are flat.
  for (int v = 0; v < 256; ++v) {
    float acc = 0.0f;
    for (int k = 0; k < taps; ++k) acc += (float)v * weight[k];
    flat[v] = acc;
  }
  float *stored_flat = pad + padded + (len + 1) * kRowSums;
  std::memcpy(stored_flat, flat, 256 * sizeof(float));
  store_floats(stored_flat, 256);
  float *filled = stored_flat + 256, *filled_below = filled + 4 * (std::size_t)blocks;
  const float **across = lines, **column = lines + taps;
  for (int k = 0; k < taps; ++k) across[k] = pad + 3 * k;  // pixel x reads x - n + k
  auto slot = [&](int r) { return inter + (std::size_t)(r % ring) * len; };
  auto held = [&](int r) { return r < 0 ? 0 : (r >= height ? height - 1 : r); };

  int done = 0;  // rows with their horizontal result in the ring
  for (int y = 0; y < height;) {
    // Output rows y .. y+R-1 are summed together (see row_sums): output
    // y+s takes its tap k from row y-n + s+k held inside the image, one
    // list of rows for all R.
    const int R = y + kRowSums <= height ? kRowSums : 1;
    // The output rows' A bytes are read back when they are written: they
    // are fetched while the horizontal pass runs.
    unsigned char *dst_row = dst + (std::size_t)y * W * 4;
    prefetch_row(dst_row, W * 4 * (std::size_t)R);
    for (; done < height && done <= y + R - 1 + n; ++done) {
      const unsigned char *row = src + (std::size_t)done * W * 4;
      float *p = pad + 3 * (std::size_t)n;
      spread(row, p, W);
      for (std::size_t k = 0; k < 3 * (std::size_t)n; k += 3)
        for (int c = 0; c < 3; ++c) {
          pad[k + c] = p[c];
          p[len + k + c] = p[len - 3 + c];
        }
      count_changes(row, width, changes);
      float *dst_line = slot(done);
      // Values i0 .. i1-1 (pixels i0/3 .. i1/3 - 1) read the source pixels
      // from i0/3 - n to i1/3 - 1 + n, held inside the row.
      for (int b = 0; b < blocks; ++b) filled[4 * b + 3] = 0.0f;
      auto flat_across = [&](int i0, int i1) {
        const int lo = i0 / 3 - n > 0 ? i0 / 3 - n : 0;
        const int hi = i1 / 3 - 1 + n < width ? i1 / 3 - 1 + n : width - 1;
        if (changes[hi + 1] != changes[lo + 1]) return false;
        // Filled with the stored values straight away.
        float *c = filled + 4 * (i0 / kBlock);
        c[0] = stored_flat[(int)p[3 * lo]];
        c[1] = stored_flat[(int)p[3 * lo + 1]];
        c[2] = stored_flat[(int)p[3 * lo + 2]];
        c[3] = 1.0f;
        fill_pixels(dst_line + i0, i1 - i0, c[0], c[1], c[2]);
        return true;
      };
      sum_runs(0, line, kBlock, flat_across,
               [&](int x0, int x1) { weighted_sum(across, weight, taps, x0, x1, dst_line); });
      unsigned char *flags = changed + (std::size_t)(done % ring) * blocks;
      const float *below = done > 0 ? slot(done - 1) : nullptr;
      for (int b = 0, i0 = 0; i0 < line; ++b, i0 += kBlock) {
        const int i1 = i0 + kBlock < line ? i0 + kBlock : line;
        const float *c = filled + 4 * b, *cb = filled_below + 4 * b;
        if (c[3] == 0.0f) store_floats(dst_line + i0, (std::size_t)(i1 - i0));
        // Two blocks filled with one colour are equal; otherwise they are
        // compared as stored bytes as floats, where equal values have equal
        // bits.
        if (!below)
          flags[b] = 0;
        else if (c[3] != 0.0f && cb[3] != 0.0f)
          flags[b] = c[0] != cb[0] || c[1] != cb[1] || c[2] != cb[2];
        else
          flags[b] = std::memcmp(dst_line + i0, below + i0, sizeof(float) * (i1 - i0)) != 0;
      }
      float *t = filled;
      filled = filled_below;
      filled_below = t;
    }
    // Vertical pass: tap k reads row y - n + k held inside the image. A
    // block where the rows of the window do not change takes flat sums;
    // summed, the same terms in the same order give the same value.
    const int lo = held(y - n), hi = held(y + R - 1 + n);
    for (int k = 0; k < taps + R - 1; ++k) column[k] = slot(held(y - n + k));
    for (int b = 0; b < blocks; ++b) window_changed[b] = 0;
    for (int r = lo + 1; r <= hi; ++r) {
      const unsigned char *flags = changed + (std::size_t)(r % ring) * blocks;
      for (int b = 0; b < blocks; ++b) window_changed[b] |= flags[b];
    }
    const float *bottom = column[0];
    // A block whose window does not change gives each of the first `rows`
    // output lines its flat sums, looked up from the bottom row's values.
    auto flat_block = [&](auto rows, int i0, int i1) {
      constexpr int kRows = decltype(rows)::value;
      if (window_changed[i0 / kBlock]) return false;
      // Black, the most common flat block, sums to 0.
      if (all_zero(bottom + i0, i1 - i0)) {
        for (int s = 0; s < kRows; ++s) std::memset(outs[s] + i0, 0, sizeof(float) * (i1 - i0));
        return true;
      }
      // A block of one colour (the marks' own) is filled in vectors.
      if (one_pixel(bottom + i0, i1 - i0)) {
        const float r = flat[(int)bottom[i0]], g = flat[(int)bottom[i0 + 1]], b = flat[(int)bottom[i0 + 2]];
        for (int s = 0; s < kRows; ++s) fill_pixels(outs[s] + i0, i1 - i0, r, g, b);
        return true;
      }
      for (int i = i0; i < i1; ++i) {
        const float v = flat[(int)bottom[i]];
        for (int s = 0; s < kRows; ++s) outs[s][i] = v;
      }
      return true;
    };
    if (R > 1) {
      sum_runs(
          0, line, kBlock,
          [&](int i0, int i1) { return flat_block(std::integral_constant<int, kRowSums>(), i0, i1); },
          [&](int x0, int x1) { row_sums(column, weight, taps, x0, x1, outs); });
      for (int s = 0; s < kRowSums; ++s) gather(outs[s], dst_row + (std::size_t)s * W * 4, W);
      y += kRowSums;
      continue;
    }
    sum_runs(
        0, line, kBlock, [&](int i0, int i1) { return flat_block(std::integral_constant<int, 1>(), i0, i1); },
        [&](int x0, int x1) { weighted_sum(column, weight, taps, x0, x1, out); });
    gather(out, dst_row, W);
    ++y;
  }

  std::free(changed);
  std::free(changes);
  std::free(lines);
  std::free(scratch);
  std::free(inter);
  return 1;
}
