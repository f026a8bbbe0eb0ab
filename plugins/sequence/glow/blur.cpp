#include "blur.h"

#include "scratch.h"
#include "weighted_sum.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using seqfx_common::alloc_floats;
using seqfx_common::stored_byte;
using seqfx_common::weighted_sum;

namespace {

// Which window pixel j of a line of len pixels gets. The border loops run
// x = 0 .. n-1 and store pixel x (plain window) and then its mirror len-1-x
// (mirrored window); stores that would fall outside the line are dropped.
// Where both reach a pixel (lines shorter than 2n) the later store stays:
// the mirror's when it comes at or after the plain one, that is when
// len-1-j >= j. The middle pixels take the plain window.
bool mirrored(int j, int len, int n) {
  if (j < len - n) return false;
  if (j >= n) return true;
  return len - 1 - j >= j;
}

// The 2n weights: entry k belongs to offset k - n; entry 0 repeats the
// value of offset n-1 (the last one computed). Normalised by their sum.
void make_weights(float *weight, int n, float distance) {
  const float K = (float)(-1.0 / (3.14159 * 2.0 * distance * distance));
  float w = 0.0f;
  for (int i = 0; i < n; ++i) {
    w = (float)std::exp((double)(K * (float)(i * i)));
    weight[n - i] = w;
    weight[n + i] = w;
  }
  weight[0] = w;
  float sum = 0.0f;
  for (int k = 0; k < 2 * n; ++k) sum += weight[k];
  for (int k = 0; k < 2 * n; ++k) weight[k] = weight[k] / sum;
}

// Lines are summed in blocks of this many pixels; a block whose taps all
// read black is set to 0 without summing (its sum is +0.0 exactly).
constexpr int kBlock = 32;

// weighted_sum over [begin, end), leaving out the blocks for which
// black(x0, x1) holds.
template <typename Black>
void sum_lit_blocks(const float *const *lines, const float *w, int m, int begin, int end,
                    float *out, Black black) {
  int x = begin;
  while (x < end) {
    int stop = x;
    while (stop < end) {
      const int next = stop + kBlock < end ? stop + kBlock : end;
      if (black(stop, next)) break;
      stop = next;
    }
    if (stop > x) {
      weighted_sum(lines, w, m, x, stop, out);
      x = stop;
      continue;
    }
    const int next = x + kBlock < end ? x + kBlock : end;
    for (int i = x; i < next; ++i) out[i] = 0.0f;
    x = next;
  }
}

}  // namespace

void RVBlurBitmap2(unsigned char *map, int width, int height, float distance, int quality) {
  if (!(distance > 0.0f) || width <= 0 || height <= 0) return;
  const float fn = (float)(quality + 1) * distance;
  // The table's values give n = 1 .. 120. An empty window, or one so long
  // that i * i would overflow (both only outside the table), blurs nothing.
  if (!(fn >= 1.0f) || fn > 40000.0f) return;
  const int n = (int)fn, taps = 2 * n;
  const std::size_t W = (std::size_t)width;

  // Horizontal results are kept for the 2n + 1 rows the vertical window can
  // reach (row r in slot r % ring), one float plane per channel holding the
  // stored bytes. Output row y is written once rows up to y + n are done;
  // the rows read later lie above y and are still unchanged.
  const int ring = taps + 1 < height ? taps + 1 : height;
  float *inter = alloc_floats((std::uint64_t)ring * 3 * W);
  // weights; per channel a row padded with n black pixels at both ends and
  // one output line; the line pointers and weights of one row's taps.
  const std::size_t padded = W + (std::size_t)taps;
  float *scratch = alloc_floats((std::uint64_t)taps * 2 + 3 * padded + 3 * W);
  const float **lines = (const float **)std::malloc(sizeof(float *) * (std::size_t)taps * 3);
  // Black pixels are common (all below the threshold): per padded row the
  // count of lit values before each position, and per ring row and block of
  // its three planes whether anything in it is lit.
  const int blocks = (3 * width + kBlock - 1) / kBlock;
  std::uint32_t *lit_before = (std::uint32_t *)std::malloc(sizeof(std::uint32_t) * (padded + 1));
  unsigned char *lit = (unsigned char *)std::malloc((std::size_t)(ring + 1) * (std::size_t)blocks);
  if (!inter || !scratch || !lines || !lit_before || !lit) {
    std::free(inter);
    std::free(scratch);
    std::free(lines);
    std::free(lit_before);
    std::free(lit);
    return;
  }
  unsigned char *lit_taps = lit + (std::size_t)ring * blocks;  // any tap row lit, per block
  float *weight = scratch;
  float *tapw = weight + taps;
  float *pads = tapw + taps;       // channel c at pads + c * padded
  float *out = pads + 3 * padded;  // channel c at out + c * W
  make_weights(weight, n, distance);

  // Black padding stands for the skipped taps: adding w * 0.0 leaves a sum
  // unchanged. The pointers are those of channel 0; channel c's lie
  // c * padded further on.
  const float **plain = lines, **mirror = lines + taps, **column = lines + 2 * taps;
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < n; ++k) pads[c * padded + k] = pads[c * padded + n + W + k] = 0.0f;
  // Runs of pixels along a row with the same window: for rows of 2n or
  // more the plain window, then the mirrored one for the last n; shorter
  // rows alternate at most twice more.
  int run_begin[4], runs = 0;
  bool run_mirrored[4];
  for (int x = 0; x < width; ++x) {
    const bool m = mirrored(x, width, n);
    if (runs > 0 && run_mirrored[runs - 1] == m) continue;
    run_begin[runs] = x;
    run_mirrored[runs] = m;
    ++runs;
  }
  auto plane = [&](int r, int c) { return inter + ((std::size_t)(r % ring) * 3 + c) * W; };

  int done = 0;  // rows with their horizontal result in the ring
  for (int y = 0; y < height; ++y) {
    for (; done < height && done <= y + n; ++done) {
      const unsigned char *row = map + (std::size_t)done * W * 4;
      for (std::size_t x = 0; x < W; ++x)
        for (int c = 0; c < 3; ++c) pads[c * padded + n + x] = row[x * 4 + c];
      for (int c = 0; c < 3; ++c) {
        const float *pad = pads + c * padded;
        for (int k = 0; k < taps; ++k) {
          plain[k] = pad + k;           // pixel x reads x - n + k
          mirror[k] = pad + 2 * n - k;  // pixel x reads x + n - k
        }
        lit_before[0] = 0;
        for (std::size_t i = 0; i < padded; ++i) lit_before[i + 1] = lit_before[i] + (pad[i] != 0.0f);
        // Both windows of pixels x0 .. x1-1 read pad[x0 .. x1 + 2n - 1].
        auto black = [&](int x0, int x1) { return lit_before[x1 + taps] == lit_before[x0]; };
        float *dst = plane(done, c);
        for (int i = 0; i < runs; ++i)
          sum_lit_blocks(run_mirrored[i] ? mirror : plain, weight, taps, run_begin[i],
                         i + 1 < runs ? run_begin[i + 1] : width, dst, black);
        for (std::size_t x = 0; x < W; ++x) dst[x] = (float)stored_byte(dst[x]);
      }
      const float *planes = plane(done, 0);
      unsigned char *flags = lit + (std::size_t)(done % ring) * blocks;
      for (int b = 0; b < blocks; ++b) {
        const int x1 = (b + 1) * kBlock < 3 * width ? (b + 1) * kBlock : 3 * width;
        unsigned char any = 0;
        for (int x = b * kBlock; x < x1; ++x) any |= planes[x] != 0.0f;
        flags[b] = any;
      }
    }
    // Vertical pass: only the taps that land inside the image are summed.
    // The three planes of a row lie end to end and are summed as one line.
    const bool m = mirrored(y, height, n);
    int count = 0;
    for (int k = 0; k < taps; ++k) {
      const int r = m ? y + n - k : y - n + k;
      if (r < 0 || r >= height) continue;
      column[count] = plane(r, 0);
      tapw[count] = weight[k];
      const unsigned char *flags = lit + (std::size_t)(r % ring) * blocks;
      for (int b = 0; b < blocks; ++b) lit_taps[b] = count ? lit_taps[b] | flags[b] : flags[b];
      ++count;
    }
    // The vertical blocks start at 0 and step by kBlock, as the flags do.
    sum_lit_blocks(column, tapw, count, 0, 3 * width, out,
                   [&](int x0, int) { return lit_taps[x0 / kBlock] == 0; });
    unsigned char *row = map + (std::size_t)y * W * 4;
    for (std::size_t x = 0; x < W; ++x)
      for (int c = 0; c < 3; ++c) row[x * 4 + c] = stored_byte(out[c * W + x]);
  }

  std::free(lit);
  std::free(lit_before);
  std::free(lines);
  std::free(scratch);
  std::free(inter);
}
