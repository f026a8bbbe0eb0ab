#include "blur.h"

#include "block_runs.h"
#include "highlights.h"
#include "pixel_lines.h"
#include "row_sums.h"
#include "scratch.h"
#include "weighted_sum.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <emmintrin.h>

using seqfx_common::add_saturating;
using seqfx_common::alloc_floats;
using seqfx_common::isolate_highlights;
using seqfx_common::release_pages;
using seqfx_common::zeroed_pages;
using seqfx_common::gather;
using seqfx_common::kRowSums;
using seqfx_common::row_sums;
using seqfx_common::spread;
using seqfx_common::store_floats;
using seqfx_common::sum_runs;
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

// Lines hold R, G, B of each pixel side by side as floats (3 per pixel).
// They are summed in blocks of kBlock values; a block whose taps all read
// black is set to 0 without summing (its sum is +0.0 exactly). kChunk
// pixels of a source row share one lit flag.
constexpr int kBlock = 48;
constexpr int kChunk = 32;

// weighted_sum over [begin, end), the blocks for which black(i0, i1) holds
// set to 0 instead; blocks start at begin.
template <typename Black>
void sum_lit_blocks(const float *const *lines, const float *w, int m, int begin, int end,
                    float *out, Black black) {
  sum_runs(
      begin, end, kBlock,
      [&](int i0, int i1) {
        if (!black(i0, i1)) return false;
        for (int i = i0; i < i1; ++i) out[i] = 0.0f;
        return true;
      },
      [&](int x0, int x1) { weighted_sum(lines, w, m, x0, x1, out); });
}

// Counts of lit chunks of a row: before[i] chunks among the first i hold a
// pixel with R, G or B non-zero.
void count_lit_chunks(const unsigned char *row, int width, std::uint32_t *before) {
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
  before[0] = 0;
  for (int c = 0, x0 = 0; x0 < width; ++c, x0 += kChunk) {
    const int x1 = x0 + kChunk < width ? x0 + kChunk : width;
    __m128i any = _mm_setzero_si128();
    int x = x0;
    for (; x + 4 <= x1; x += 4)
      any = _mm_or_si128(any, _mm_loadu_si128((const __m128i *)(row + 4 * (std::size_t)x)));
    // The A byte is the last one of a pixel in memory: leave it out.
    std::uint32_t bits = (std::uint32_t)_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_and_si128(any, rgb), _mm_setzero_si128())) != 0xFFFF;
    for (; x < x1; ++x) {
      std::uint32_t px;
      std::memcpy(&px, row + 4 * (std::size_t)x, 4);
      unsigned char bytes[4];
      std::memcpy(bytes, &px, 4);
      bits |= (bytes[0] | bytes[1] | bytes[2]) != 0;
    }
    before[c + 1] = before[c] + bits;
  }
}

// The sums of a line as they are stored (truncated toward zero, low 8 bits,
// back as floats), and per block of kBlock values whether any is non-zero.
void store_line(float *line, int len, unsigned char *lit) {
  for (int b = 0, i0 = 0; i0 < len; ++b, i0 += kBlock) {
    const int i1 = i0 + kBlock < len ? i0 + kBlock : len;
    lit[b] = store_floats(line + i0, (std::size_t)(i1 - i0)) != 0;
  }
}

// The blur of a picture given row by row: source(r) gives the bytes of
// row r (R, G, B read, A not), each once, in increasing order; sink(y,
// sums) takes output row y as sums to be stored, each once, in increasing
// order, and only after the source rows up to y + n have been read.
// Returns false, having called neither, where the blur does nothing.
template <typename Source, typename Sink>
bool blur_rows(int width, int height, float distance, int quality, Source source, Sink sink) {
  if (!(distance > 0.0f) || width <= 0 || height <= 0) return false;
  const float fn = (float)(quality + 1) * distance;
  // The table's values give n = 1 .. 120. An empty window, or one so long
  // that i * i would overflow (both only outside the table), blurs nothing.
  if (!(fn >= 1.0f) || fn > 40000.0f) return false;
  const int n = (int)fn, taps = 2 * n;
  const std::size_t W = (std::size_t)width, len = 3 * W;
  const int line = 3 * width;

  // Horizontal results are kept for the 2n + kRowSums rows the vertical
  // window of kRowSums output rows can reach (row r in slot r % ring), each
  // a line of stored bytes as floats. Output rows y .. y+R-1 are written
  // once rows up to y+R-1 + n are done; the rows read later lie above them
  // and are still unchanged.
  const int ring = taps + kRowSums < height ? taps + kRowSums : height;
  const std::uint64_t inter_bytes = (std::uint64_t)ring * len * sizeof(float);
  float *inter = (float *)zeroed_pages(inter_bytes);
  // weights; the source row padded with n black pixels at both ends; a
  // black line standing for the rows outside the image; kRowSums output
  // lines, each with the float after it; the line pointers and weights of
  // the taps.
  const std::size_t padded = len + 6 * (std::size_t)n;
  float *scratch = alloc_floats((std::uint64_t)taps * 2 + padded + len + (len + 1) * kRowSums);
  const float **lines =
      (const float **)std::malloc(sizeof(float *) * ((std::size_t)taps * 4 + kRowSums));
  // Black pixels are common (all below the threshold): per source row the
  // running count of lit chunks, and per ring row and block whether
  // anything in it is lit.
  const int chunks = (width + kChunk - 1) / kChunk;
  const int blocks = (line + kBlock - 1) / kBlock;
  std::uint32_t *lit_before = (std::uint32_t *)std::malloc(sizeof(std::uint32_t) * (chunks + 1));
  unsigned char *lit = (unsigned char *)std::malloc((std::size_t)(ring + 1) * (std::size_t)blocks);
  if (!inter || !scratch || !lines || !lit_before || !lit) {
    release_pages(inter, inter_bytes);
    std::free(scratch);
    std::free(lines);
    std::free(lit_before);
    std::free(lit);
    return false;
  }
  unsigned char *lit_taps = lit + (std::size_t)ring * blocks;  // any tap row lit, per block
  float *weight = scratch;
  float *tapw = weight + taps;
  float *pad = tapw + taps;
  float *black_line = pad + padded;
  float *outs[kRowSums];
  for (int s = 0; s < kRowSums; ++s) {
    outs[s] = black_line + len + (len + 1) * (std::size_t)s;
    outs[s][len] = 0.0f;
  }
  float *out = outs[0];
  for (std::size_t i = 0; i < len; ++i) black_line[i] = 0.0f;
  make_weights(weight, n, distance);

  // Black padding stands for the skipped taps: adding w * 0.0 leaves a sum
  // unchanged. Value i of a line (pixel i / 3) reads pad[i + 3k] for tap k.
  const float **plain = lines, **mirror = lines + taps, **column = lines + 2 * taps,
              **group = lines + 3 * taps;
  for (int k = 0; k < taps; ++k) {
    plain[k] = pad + 3 * k;             // pixel x reads x - n + k
    mirror[k] = pad + 3 * (2 * n - k);  // pixel x reads x + n - k
  }
  for (std::size_t i = 0; i < 3 * (std::size_t)n; ++i) pad[i] = pad[3 * n + len + i] = 0.0f;
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
  // Values i0 .. i1-1 of a line read the source pixels i0/3 - n .. (i1-1)/3 + n.
  auto black = [&](int i0, int i1) {
    const int lo = i0 / 3 - n, hi = (i1 - 1) / 3 + n;
    const int c0 = lo > 0 ? lo / kChunk : 0, c1 = (hi < width ? hi : width - 1) / kChunk + 1;
    return lit_before[c1] == lit_before[c0];
  };
  auto slot = [&](int r) { return inter + (std::size_t)(r % ring) * len; };

  // Output rows y .. y+R-1 with the same window are summed together: with
  // the plain window output y+s takes its tap k from row y-n + s+k, with
  // the mirrored one from row y+n + s-k, so one list of rows serves all R
  // (the mirrored list runs downwards and its sum s is row y+R-1-s). Rows
  // outside the image read the black line: a term w * 0.0 added to a sum
  // of non-negative terms leaves it as it was, so the bytes are those of
  // the taps inside the image alone.
  auto group_of = [&](int y) {
    if (y + kRowSums > height) return false;
    const bool m = mirrored(y, height, n);
    for (int s = 1; s < kRowSums; ++s)
      if (mirrored(y + s, height, n) != m) return false;
    return true;
  };

  int done = 0;  // rows with their horizontal result in the ring
  for (int y = 0; y < height;) {
    const bool grouped = group_of(y);
    const int reach = grouped ? y + kRowSums - 1 + n : y + n;
    for (; done < height && done <= reach; ++done) {
      const unsigned char *row = source(done);
      spread(row, pad + 3 * n, W);
      count_lit_chunks(row, width, lit_before);
      float *dst = slot(done);
      for (int i = 0; i < runs; ++i)
        sum_lit_blocks(run_mirrored[i] ? mirror : plain, weight, taps, 3 * run_begin[i],
                       3 * (i + 1 < runs ? run_begin[i + 1] : width), dst, black);
      store_line(dst, line, lit + (std::size_t)(done % ring) * blocks);
    }
    if (grouped) {
      const bool m = mirrored(y, height, n);
      const int rows = taps + kRowSums - 1;
      bool first = true;
      for (int i = 0; i < rows; ++i) {
        const int r = m ? y + kRowSums - 1 + n - i : y - n + i;
        if (r < 0 || r >= height) {
          group[i] = black_line;
          continue;
        }
        group[i] = slot(r);
        const unsigned char *flags = lit + (std::size_t)(r % ring) * blocks;
        for (int b = 0; b < blocks; ++b) lit_taps[b] = first ? flags[b] : lit_taps[b] | flags[b];
        first = false;
      }
      float *sums[kRowSums];
      for (int s = 0; s < kRowSums; ++s) sums[s] = outs[m ? kRowSums - 1 - s : s];
      sum_runs(
          0, line, kBlock,
          [&](int i0, int i1) {
            if (lit_taps[i0 / kBlock]) return false;
            for (int s = 0; s < kRowSums; ++s)
              for (int i = i0; i < i1; ++i) outs[s][i] = 0.0f;
            return true;
          },
          [&](int x0, int x1) { row_sums(group, weight, taps, x0, x1, sums); });
      for (int s = 0; s < kRowSums; ++s) sink(y + s, outs[s]);
      y += kRowSums;
      continue;
    }
    // Vertical pass: only the taps that land inside the image are summed.
    const bool m = mirrored(y, height, n);
    int count = 0;
    for (int k = 0; k < taps; ++k) {
      const int r = m ? y + n - k : y - n + k;
      if (r < 0 || r >= height) continue;
      column[count] = slot(r);
      tapw[count] = weight[k];
      const unsigned char *flags = lit + (std::size_t)(r % ring) * blocks;
      for (int b = 0; b < blocks; ++b) lit_taps[b] = count ? lit_taps[b] | flags[b] : flags[b];
      ++count;
    }
    // The vertical blocks start at 0 and step by kBlock, as the flags do.
    sum_lit_blocks(column, tapw, count, 0, line, out,
                   [&](int i0, int) { return lit_taps[i0 / kBlock] == 0; });
    sink(y, out);
    ++y;
  }

  std::free(lit);
  std::free(lit_before);
  std::free(lines);
  std::free(scratch);
  release_pages(inter, inter_bytes);
  return true;
}

}  // namespace

void RVBlurBitmap2(unsigned char *map, int width, int height, float distance, int quality) {
  const std::size_t stride = 4 * (std::size_t)(width > 0 ? width : 0);
  blur_rows(
      width, height, distance, quality,
      [&](int r) -> const unsigned char * { return map + (std::size_t)r * stride; },
      [&](int y, const float *sums) { gather(sums, map + (std::size_t)y * stride, stride / 4); });
}

bool blur_halo(const unsigned char *in, unsigned char *out, int width, int height, int threshold,
               float boost, float clamp, float distance, int quality, bool only_boost) {
  if (width <= 0 || height <= 0) return false;
  const std::size_t stride = 4 * (std::size_t)width;
  unsigned char *lights = (unsigned char *)std::malloc(stride);
  if (!lights) return false;
  const bool done = blur_rows(
      width, height, distance, quality,
      [&](int r) -> const unsigned char * {
        isolate_highlights(in + (std::size_t)r * stride, lights, width, 1, threshold, boost,
                           clamp);
        return lights;
      },
      [&](int y, const float *sums) {
        // The row's source has been read: out may be in. Where it is, the
        // halo is added to itself, as adding the blurred buffer to the
        // input it replaced does.
        unsigned char *row = out + (std::size_t)y * stride;
        gather(sums, row, (std::size_t)width);
        if (!only_boost) add_saturating(in + (std::size_t)y * stride, row, row, width, 1);
      });
  std::free(lights);
  return done;
}

