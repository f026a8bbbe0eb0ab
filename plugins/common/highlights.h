// Highlight isolation and saturating addition of pixel arrays.
#pragma once

namespace seqfx_common {

// Writes R, G, B of every dst pixel: black where R + G + B of the src pixel
// does not exceed threshold (0..765), else each channel scaled by boost and
// by the excess over threshold, limited to clamp * 255. dst's A byte is left
// alone. src and dst may be the same array.
void isolate_highlights(const unsigned char *src, unsigned char *dst, int width, int height,
                        int threshold, float boost, float clamp);

// dst = a + b for all four bytes of every pixel, saturated at 255. dst may be
// the same array as a or b.
void add_saturating(const unsigned char *a, const unsigned char *b, unsigned char *dst, int width,
                    int height);

}  // namespace seqfx_common
