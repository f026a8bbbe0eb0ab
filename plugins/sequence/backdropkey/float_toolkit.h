// The float image toolkit of backdropkey: byte/float conversion, the YUV
// matrices both ways, the checkerboard and the separable Gaussian blur.
//
// A float image is width x height pixels in rect order, four floats each:
// R, G, B, A in RGB form, Y, U, V, A in YUV form (U and V offset by 0.5).
// Nothing here clamps a float except fl2ch on the way back to bytes.
#pragma once

// dst[i] = src[i] / 255 (double quotient stored as float); count <= 0 does
// nothing. Counts are components, not pixels.
void ch2fl(const unsigned char *src, float *dst, int count);
// dst[i] = src[i] * 255 (single product) + 0.5, truncated, limited to
// 0..255; count <= 0 does nothing.
void fl2ch(const float *src, unsigned char *dst, int count);

// pixels byte RGBA pixels to YUVA floats: the same values as ch2fl
// followed by frgb2fyuv, without the intermediate image.
void bytes_to_fyuv(const unsigned char *src, float *dst, int pixels);

// One pixel RGBA -> YUVA, in double precision from the float inputs. The
// inputs are read before anything is written, so src may be dst.
inline void frgb2fyuv(const float *rgba, float *yuva) {
  const double r = rgba[0], g = rgba[1], b = rgba[2];
  const float a = rgba[3];
  yuva[0] = (float)(0.299 * r + 0.587 * g + 0.114 * b);
  yuva[1] = (float)(-0.147 * r - 0.289 * g + 0.436 * b + 0.5);
  yuva[2] = (float)(0.615 * r - 0.515 * g - 0.1 * b + 0.5);
  yuva[3] = a;
}

// One pixel YUVA -> RGBA, in double precision; src may be dst. The two
// matrices are the rounded textbook pair, not exact inverses.
inline void fyuv2frgb(const float *yuva, float *rgba) {
  const double y = yuva[0], u = (double)yuva[1] - 0.5, v = (double)yuva[2] - 0.5;
  const float a = yuva[3];
  rgba[0] = (float)(y + 1.14 * v);
  rgba[1] = (float)(y - 0.395 * u - 0.581 * v);
  rgba[2] = (float)(y + 2.032 * u);
  rgba[3] = a;
}

// 8 x 8 squares of 0.333 and 0.667 (the first pixel in a 0.333 square),
// alpha 0 everywhere. Sizes <= 0 write nothing.
void makecheck(float *buf, int width, int height);

// Blurs src into dst with a (2 * radius + 1)-tap Gaussian of width
// parameter amount. channel: |channel| - 1 is the component blurred (0 for
// all four); a positive channel skips the vertical pass. src may be dst.
// Scratch comes from mallocN; on failure dst is left as it was. The return
// value carries no meaning. A second negative one-component channel2 (with
// src == dst) is blurred in the same passes, with the result and the
// console text of a second call right after; 0 means none.
int gaussianBlur(const float *src, float *dst, int width, int height, float amount, int radius,
                 int info, int channel, int channel2 = 0);
