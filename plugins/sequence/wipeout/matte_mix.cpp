// The matte mix in vector registers, 16, 32 or 64 bytes at a time.
//
// Each byte follows mix_byte: num = a v + b (255 - v) in 16 bits, 1 taken
// off where a < b and 0 < v < 255, and the quotient by 255 as
// (x * 0x8081) >> 23, which is exact for every x up to 65535.

#include "matte_mix.h"

#include "fetch_lines.h"

#include <cstdint>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace wipeout {

#if defined(__SSE2__)

namespace {

// Outputs this long are written around the caches: a frame of this size
// does not stay there until it is read again anyway, and the stores then
// need not fetch the lines they overwrite.
constexpr long kStreamBytes = 4L << 20;

// On such frames the three inputs are asked for a line at a time, a few
// kilobytes ahead (a fifth of a 1080p frame's time).
__attribute__((always_inline)) inline void fetch_ahead(const unsigned char *a, const unsigned char *b,
                                                      const unsigned char *v, long i, long count) {
  using seqfx_common::kFetchAheadBytes;
  if (i + kFetchAheadBytes >= count) return;
  seqfx_common::fetch_lines(a + i + kFetchAheadBytes, 1);
  seqfx_common::fetch_lines(b + i + kFetchAheadBytes, 1);
  seqfx_common::fetch_lines(v + i + kFetchAheadBytes, 1);
}

// (x * 0x8081) >> 23 per 16-bit lane: x / 255.
inline __m128i div255(__m128i x) {
  return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16((short)0x8081)), 7);
}

// 1 where a < b and v is neither 0 nor 255, else 0: all three of b - a
// (saturated), v and 255 - v are nonzero exactly there.
inline __m128i one_off(__m128i a, __m128i b, __m128i v, __m128i w) {
  return _mm_min_epu8(_mm_min_epu8(_mm_subs_epu8(b, a), v), _mm_min_epu8(w, _mm_set1_epi8(1)));
}

}  // namespace

long mix_16(const unsigned char *a, const unsigned char *b, const unsigned char *v,
            unsigned char *dst, long count) {
  const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi8(-1);
  long i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
    const __m128i vv = _mm_loadu_si128(reinterpret_cast<const __m128i *>(v + i));
    const __m128i vw = _mm_xor_si128(vv, ones);  // 255 - v
    const __m128i t = one_off(va, vb, vv, vw);
    __m128i half[2];
    for (int h = 0; h < 2; ++h) {
      auto widen = [&](__m128i x) {
        return h ? _mm_unpackhi_epi8(x, zero) : _mm_unpacklo_epi8(x, zero);
      };
      const __m128i num = _mm_add_epi16(_mm_mullo_epi16(widen(va), widen(vv)),
                                        _mm_mullo_epi16(widen(vb), widen(vw)));
      half[h] = div255(_mm_sub_epi16(num, widen(t)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_packus_epi16(half[0], half[1]));
  }
  return i;
}

// The wider forms pair each matte byte with 255 - v and each strip byte,
// less 128 so that it fits a signed byte, with its partner, and let one
// multiply-add form v (a - 128) + (255 - v) (b - 128) = num - 128 * 255;
// |num - 32640| <= 32640, so the pair sum never saturates.

namespace {

__attribute__((target("avx2"), always_inline)) inline __m256i mix32(const unsigned char *a,
                                                                      const unsigned char *b,
                                                                      const unsigned char *v) {
  const __m256i zero = _mm256_setzero_si256(), ones = _mm256_set1_epi8(-1);
  const __m256i flip = _mm256_set1_epi8((char)0x80), one = _mm256_set1_epi8(1);
  const __m256i bias = _mm256_set1_epi16(128 * 255), magic = _mm256_set1_epi16((short)0x8081);
  const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a));
  const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(b));
  const __m256i vv = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(v));
  const __m256i vw = _mm256_xor_si256(vv, ones);
  const __m256i t = _mm256_min_epu8(_mm256_min_epu8(_mm256_subs_epu8(vb, va), vv),
                                    _mm256_min_epu8(vw, one));
  const __m256i sa = _mm256_xor_si256(va, flip), sb = _mm256_xor_si256(vb, flip);
  const __m256i lo = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(vv, vw), _mm256_unpacklo_epi8(sa, sb));
  const __m256i hi = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(vv, vw), _mm256_unpackhi_epi8(sa, sb));
  const __m256i xlo = _mm256_sub_epi16(_mm256_add_epi16(lo, bias), _mm256_unpacklo_epi8(t, zero));
  const __m256i xhi = _mm256_sub_epi16(_mm256_add_epi16(hi, bias), _mm256_unpackhi_epi8(t, zero));
  // Unpacking and packing both work within 128-bit halves, so the bytes
  // come back in their places.
  return _mm256_packus_epi16(_mm256_srli_epi16(_mm256_mulhi_epu16(xlo, magic), 7),
                             _mm256_srli_epi16(_mm256_mulhi_epu16(xhi, magic), 7));
}

}  // namespace

__attribute__((target("avx2"))) long mix_32(const unsigned char *a, const unsigned char *b,
                                            const unsigned char *v, unsigned char *dst,
                                            long count) {
  long i = 0;
  if (count >= kStreamBytes) {
    for (; ((uintptr_t)(dst + i) & 31) != 0; ++i) dst[i] = mix_byte(a[i], b[i], v[i]);
    for (; i + 32 <= count; i += 32) {
      if ((i & 63) == 0) fetch_ahead(a, b, v, i, count);
      _mm256_stream_si256(reinterpret_cast<__m256i *>(dst + i), mix32(a + i, b + i, v + i));
    }
    _mm_sfence();
  }
  for (; i + 32 <= count; i += 32)
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + i), mix32(a + i, b + i, v + i));
  return i;
}

namespace {

__attribute__((target("avx512bw"), always_inline)) inline __m512i mix64(__m512i va, __m512i vb,
                                                                         __m512i vv) {
  const __m512i zero = _mm512_setzero_si512(), ones = _mm512_set1_epi8(-1);
  const __m512i flip = _mm512_set1_epi8((char)0x80), one = _mm512_set1_epi8(1);
  const __m512i bias = _mm512_set1_epi16(128 * 255), magic = _mm512_set1_epi16((short)0x8081);
  const __m512i vw = _mm512_xor_si512(vv, ones);
  const __m512i t = _mm512_min_epu8(_mm512_min_epu8(_mm512_subs_epu8(vb, va), vv),
                                    _mm512_min_epu8(vw, one));
  const __m512i sa = _mm512_xor_si512(va, flip), sb = _mm512_xor_si512(vb, flip);
  const __m512i lo = _mm512_maddubs_epi16(_mm512_unpacklo_epi8(vv, vw), _mm512_unpacklo_epi8(sa, sb));
  const __m512i hi = _mm512_maddubs_epi16(_mm512_unpackhi_epi8(vv, vw), _mm512_unpackhi_epi8(sa, sb));
  const __m512i xlo = _mm512_sub_epi16(_mm512_add_epi16(lo, bias), _mm512_unpacklo_epi8(t, zero));
  const __m512i xhi = _mm512_sub_epi16(_mm512_add_epi16(hi, bias), _mm512_unpackhi_epi8(t, zero));
  return _mm512_packus_epi16(_mm512_srli_epi16(_mm512_mulhi_epu16(xlo, magic), 7),
                             _mm512_srli_epi16(_mm512_mulhi_epu16(xhi, magic), 7));
}

}  // namespace

__attribute__((target("avx512bw"))) long mix_64(const unsigned char *a, const unsigned char *b,
                                                const unsigned char *v, unsigned char *dst,
                                                long count) {
  long i = 0;
  if (count >= kStreamBytes) {
    // Up to a 64-byte boundary of the output, then stores that bypass the
    // cache.
    const long head = (long)(-(uintptr_t)dst & 63);
    const __mmask64 m = head ? ~0ULL >> (64 - head) : 0;
    _mm512_mask_storeu_epi8(dst, m, mix64(_mm512_maskz_loadu_epi8(m, a), _mm512_maskz_loadu_epi8(m, b),
                                          _mm512_maskz_loadu_epi8(m, v)));
    for (i = head; i + 64 <= count; i += 64) {
      fetch_ahead(a, b, v, i, count);
      _mm512_stream_si512(reinterpret_cast<__m512i *>(dst + i),
                          mix64(_mm512_loadu_si512(a + i), _mm512_loadu_si512(b + i),
                                _mm512_loadu_si512(v + i)));
    }
    _mm_sfence();
  }
  for (; i + 64 <= count; i += 64)
    _mm512_storeu_si512(dst + i, mix64(_mm512_loadu_si512(a + i), _mm512_loadu_si512(b + i),
                                       _mm512_loadu_si512(v + i)));
  // The last few bytes through masks: lanes past the end are neither read
  // nor written.
  if (i < count) {
    const __mmask64 m = ~0ULL >> (64 - (count - i));
    _mm512_mask_storeu_epi8(dst + i, m,
                            mix64(_mm512_maskz_loadu_epi8(m, a + i), _mm512_maskz_loadu_epi8(m, b + i),
                                  _mm512_maskz_loadu_epi8(m, v + i)));
  }
  return count;
}

int widest_run() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw")) return 64;
  if (__builtin_cpu_supports("avx2")) return 32;
  return 16;
}

#else

long mix_16(const unsigned char *, const unsigned char *, const unsigned char *, unsigned char *,
            long) {
  return 0;
}
long mix_32(const unsigned char *, const unsigned char *, const unsigned char *, unsigned char *,
            long) {
  return 0;
}
long mix_64(const unsigned char *, const unsigned char *, const unsigned char *, unsigned char *,
            long) {
  return 0;
}
int widest_run() { return 1; }

#endif

void mix(const unsigned char *a, const unsigned char *b, const unsigned char *v,
         unsigned char *dst, long count) {
  static const int run = widest_run();
  long i = 0;
  if (run == 64)
    i = mix_64(a, b, v, dst, count);
  else if (run == 32)
    i = mix_32(a, b, v, dst, count);
  i += mix_16(a + i, b + i, v + i, dst + i, count - i);
  for (; i < count; ++i) dst[i] = mix_byte(a[i], b[i], v[i]);
}

}  // namespace wipeout
