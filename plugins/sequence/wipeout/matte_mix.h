// The matte mix of wipeout over plain byte runs: out = a m + b (1 - m),
// m the matte byte over 255 in single precision, the mix in double
// precision and truncated; formed here in integers, byte for byte the same.
#pragma once

namespace wipeout {

// The mixed byte. With m = (float)v / 255.0f the double-precision a m +
// b (1 - m) is exact (a few dozen significant bits), so it equals
// num / 255 + (a - b) e with num = a v + b (255 - v) and e = m - v / 255.
//
// e > 0 for every 0 < v < 255. In binary, v / 255 is the byte v repeated
// without end (1 / 255 = 2^-8 + 2^-16 + ...). If bit j is the highest set
// bit of v, the quotient's leading bit is worth 2^(j-8) and a float keeps
// 24 bits, down to 2^(j-31). The first bit dropped, worth 2^(j-32), lies a
// whole number of bytes below the leading one and so is again bit j of
// v: a 1, followed by an endless tail that is not all zeros. The dropped
// part is thus more than half the last kept bit, and rounding to nearest
// goes up: m is a hair above v / 255. (e is never 0, since 255 is odd and
// v / 255 has no finite binary form unless v is 0 or 255.)
//
// |(a - b) e| < 1, so the truncated byte is floor(num / 255) except where
// 255 divides num and (a - b) e < 0, that is a < b, where the sum lands a
// hair under the whole number k = num / 255 and truncates to k - 1 (k >= 1
// there, as num = 0 needs a = b = 0). Subtracting 1 from num whenever a <
// b and 0 < v < 255 gives exactly that: a numerator that is not a
// multiple of 255 keeps its quotient, a multiple drops to k - 1.
inline unsigned char mix_byte(int a, int b, int v) {
  const int num = a * v + b * (255 - v);
  const int t = b > a && v != 0 && v != 255;
  return (unsigned char)((num - t) / 255);
}

// Byte runs of each vector width. Each returns how many bytes it did from
// the start: all but fewer than its width (the 64-byte form, with masked
// loads and stores, does all of them), or none where the build lacks the
// instructions; call the wider ones only where the processor has them.
// The output may be one of the inputs.
long mix_16(const unsigned char *a, const unsigned char *b, const unsigned char *v,
            unsigned char *dst, long count);
long mix_32(const unsigned char *a, const unsigned char *b, const unsigned char *v,
            unsigned char *dst, long count);
long mix_64(const unsigned char *a, const unsigned char *b, const unsigned char *v,
            unsigned char *dst, long count);

// The widest of the runs above this processor offers: 64, 32, 16 or 1.
int widest_run();

// dst[i] = mix_byte(a[i], b[i], v[i]) for count bytes, with the widest run.
void mix(const unsigned char *a, const unsigned char *b, const unsigned char *v,
         unsigned char *dst, long count);

}  // namespace wipeout
