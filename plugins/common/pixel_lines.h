// Rows of pixels as lines of floats for the blurs: R, G, B of each pixel
// side by side, three floats per pixel, so that one weighted sum covers
// the three channels.
#pragma once

#include "weighted_sum.h"

#include <cstddef>
#include <cstring>

#include <emmintrin.h>
#include <immintrin.h>

namespace seqfx_common {

// R, G, B of len pixels as floats, side by side. Each pixel is written as
// four floats, its A as 0.0, which the next pixel's R overwrites: dst must
// have room for one float after the last pixel.
inline void spread_4(const unsigned char *row, float *dst, std::size_t len) {
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF), zero = _mm_setzero_si128();
  std::size_t x = 0;
  for (; x + 4 <= len; x += 4) {
    const __m128i px = _mm_and_si128(_mm_loadu_si128((const __m128i *)(row + 4 * x)), rgb);
    const __m128i lo = _mm_unpacklo_epi8(px, zero), hi = _mm_unpackhi_epi8(px, zero);
    _mm_storeu_ps(dst + 3 * x, _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)));
    _mm_storeu_ps(dst + 3 * x + 3, _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)));
    _mm_storeu_ps(dst + 3 * x + 6, _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)));
    _mm_storeu_ps(dst + 3 * x + 9, _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero)));
  }
  for (; x < len; ++x) {
    dst[3 * x] = row[4 * x];
    dst[3 * x + 1] = row[4 * x + 1];
    dst[3 * x + 2] = row[4 * x + 2];
  }
}

// Stores the R, G, B of len pixels, given as stored sums side by side, into
// row; the A bytes stay. Reads one float after the last pixel.
inline void gather_4(const float *src, unsigned char *row, std::size_t len) {
  const __m128i low = _mm_set1_epi32(0xFF), alpha = _mm_set1_epi32((int)0xFF000000u);
  std::size_t x = 0;
  for (; x + 4 <= len; x += 4) {
    // Truncated toward zero, the low 8 bits of each; the fourth lane of
    // every pixel (the next pixel's R) is replaced by the row's A.
    const __m128i a = _mm_and_si128(_mm_cvttps_epi32(_mm_loadu_ps(src + 3 * x)), low);
    const __m128i b = _mm_and_si128(_mm_cvttps_epi32(_mm_loadu_ps(src + 3 * x + 3)), low);
    const __m128i c = _mm_and_si128(_mm_cvttps_epi32(_mm_loadu_ps(src + 3 * x + 6)), low);
    const __m128i d = _mm_and_si128(_mm_cvttps_epi32(_mm_loadu_ps(src + 3 * x + 9)), low);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
    __m128i *p = (__m128i *)(row + 4 * x);
    const __m128i old = _mm_loadu_si128(p);
    _mm_storeu_si128(p, _mm_or_si128(_mm_andnot_si128(alpha, bytes), _mm_and_si128(old, alpha)));
  }
  for (; x < len; ++x)
    for (int c = 0; c < 3; ++c) row[x * 4 + c] = stored_byte(src[x * 3 + c]);
}

#if defined(__x86_64__)
// The same with eight pixels per step: the R, G, B bytes of eight pixels
// packed together and widened to 24 floats, 8 at a time. Writes nothing
// after the last pixel but what spread_4 writes for the last few.
__attribute__((target("avx2"))) inline void spread_8(const unsigned char *row, float *dst,
                                                      std::size_t len) {
  const __m128i rgb = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  std::size_t x = 0;
  for (; x + 8 <= len; x += 8) {
    const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(row + 4 * x)), rgb);
    const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(row + 4 * x + 16)), rgb);
    const __m128i mid = _mm_or_si128(_mm_srli_si128(a, 8), _mm_slli_si128(b, 4));
    _mm256_storeu_ps(dst + 3 * x, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(a)));
    _mm256_storeu_ps(dst + 3 * x + 8, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(mid)));
    const __m128i last = _mm_srli_si128(b, 4);
    _mm256_storeu_ps(dst + 3 * x + 16, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(last)));
  }
  spread_4(row + 4 * x, dst + 3 * x, len - x);
}

// gather_4 with eight pixels per step: 24 sums truncated, their low bytes
// packed in order and spread to the R, G, B bytes of eight pixels.
__attribute__((target("avx2"))) inline void gather_8(const float *src, unsigned char *row,
                                                      std::size_t len) {
  const __m256i low = _mm256_set1_epi32(0xFF);
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  const __m128i rgba = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i alpha = _mm_set1_epi32((int)0xFF000000u);
  std::size_t x = 0;
  for (; x + 8 <= len; x += 8) {
    const __m256i a = _mm256_and_si256(_mm256_cvttps_epi32(_mm256_loadu_ps(src + 3 * x)), low);
    const __m256i b = _mm256_and_si256(_mm256_cvttps_epi32(_mm256_loadu_ps(src + 3 * x + 8)), low);
    const __m256i c = _mm256_and_si256(_mm256_cvttps_epi32(_mm256_loadu_ps(src + 3 * x + 16)), low);
    // Per 128-bit half: a, b, c, c in groups of four bytes; put in order.
    const __m256i bytes = _mm256_permutevar8x32_epi32(
        _mm256_packus_epi16(_mm256_packs_epi32(a, b), _mm256_packs_epi32(c, c)), order);
    const __m128i lo = _mm256_castsi256_si128(bytes);
    const __m128i hi = _mm_alignr_epi8(_mm256_extracti128_si256(bytes, 1), lo, 12);
    __m128i *p = (__m128i *)(row + 4 * x);
    const __m128i old0 = _mm_loadu_si128(p), old1 = _mm_loadu_si128(p + 1);
    _mm_storeu_si128(p, _mm_or_si128(_mm_shuffle_epi8(lo, rgba), _mm_and_si128(old0, alpha)));
    _mm_storeu_si128(p + 1, _mm_or_si128(_mm_shuffle_epi8(hi, rgba), _mm_and_si128(old1, alpha)));
  }
  gather_4(src + 3 * x, row + 4 * x, len - x);
}
#endif

// R, G, B of len pixels as floats, side by side; dst must have room for
// one float after the last pixel (see spread_4).
inline void spread(const unsigned char *row, float *dst, std::size_t len) {
#if defined(__x86_64__)
  static const int lanes = widest_lanes();
  if (lanes >= 8) {
    spread_8(row, dst, len);
    return;
  }
#endif
  spread_4(row, dst, len);
}

// Stores the R, G, B of len pixels into row, the A bytes staying; reads one
// float after the last pixel (see gather_4).
inline void gather(const float *src, unsigned char *row, std::size_t len) {
#if defined(__x86_64__)
  static const int lanes = widest_lanes();
  if (lanes >= 8) {
    gather_8(src, row, len);
    return;
  }
#endif
  gather_4(src, row, len);
}

// Replaces count sums of a line by their stored values (truncated toward
// zero, low 8 bits, as floats again) and returns the bitwise or of those
// bytes, so that a caller learns whether any of them is lit. A sum no int
// can hold converts to 0x80000000, whose low byte is 0, as stored_byte has
// it. 4, 8 or 16 values per vector, the wider forms chosen at run time;
// each handles what whole vectors of its width cover, from i on.
inline unsigned store_floats_4(float *line, std::size_t &i, std::size_t count) {
  const __m128i low = _mm_set1_epi32(0xFF);
  __m128i any = _mm_setzero_si128();
  for (; i + 4 <= count; i += 4) {
    const __m128i a = _mm_and_si128(_mm_cvttps_epi32(_mm_loadu_ps(line + i)), low);
    any = _mm_or_si128(any, a);
    _mm_storeu_ps(line + i, _mm_cvtepi32_ps(a));
  }
  any = _mm_or_si128(any, _mm_shuffle_epi32(any, 0x4E));
  any = _mm_or_si128(any, _mm_shuffle_epi32(any, 0xB1));
  return (unsigned)_mm_cvtsi128_si32(any);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) inline unsigned store_floats_8(float *line, std::size_t &i,
                                                                std::size_t count) {
  const __m256i low = _mm256_set1_epi32(0xFF);
  __m256i any = _mm256_setzero_si256();
  for (; i + 8 <= count; i += 8) {
    const __m256i a = _mm256_and_si256(_mm256_cvttps_epi32(_mm256_loadu_ps(line + i)), low);
    any = _mm256_or_si256(any, a);
    _mm256_storeu_ps(line + i, _mm256_cvtepi32_ps(a));
  }
  const __m128i half = _mm_or_si128(_mm256_castsi256_si128(any), _mm256_extracti128_si256(any, 1));
  return (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(half, _mm_setzero_si128())) != 0xFFFF;
}

// The 16-lane conversions start from an undefined vector, which the
// compiler takes for a read of an uninitialised one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512f"))) inline unsigned store_floats_16(float *line, std::size_t &i,
                                                                    std::size_t count) {
  const __m512i low = _mm512_set1_epi32(0xFF);
  __m512i any = _mm512_setzero_si512();
  for (; i + 16 <= count; i += 16) {
    const __m512i a = _mm512_and_si512(_mm512_cvttps_epi32(_mm512_loadu_ps(line + i)), low);
    any = _mm512_or_si512(any, a);
    _mm512_storeu_ps(line + i, _mm512_cvtepi32_ps(a));
  }
  return _mm512_test_epi32_mask(any, any) != 0;
}
#pragma GCC diagnostic pop
#endif

inline unsigned store_floats(float *line, std::size_t count) {
  std::size_t i = 0;
  unsigned bits = 0;
#if defined(__x86_64__)
  static const int lanes = widest_lanes();
  if (lanes == 16)
    bits = store_floats_16(line, i, count);
  else if (lanes == 8)
    bits = store_floats_8(line, i, count);
#endif
  bits |= store_floats_4(line, i, count);
  // Every vector form steps by a multiple of 4 from 0, so the last count % 4
  // values are left, fewer than four: said so, the loop's bound is plain to
  // the compiler, which otherwise cannot rule out a start past count.
  for (i = count - count % 4; i < count; ++i) {
    const unsigned v = stored_byte(line[i]);
    line[i] = (float)v;
    bits |= v;
  }
  return bits;
}

// Asks for the bytes of a row to be brought into the cache ahead of their
// use, so that reading them later does not wait on memory.
inline void prefetch_row(const unsigned char *row, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; i += 64) _mm_prefetch((const char *)(row + i), _MM_HINT_T0);
}

}  // namespace seqfx_common
