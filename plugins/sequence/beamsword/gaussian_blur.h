// The separable blur of the beam glow, with repeated edge pixels.
#pragma once

// Blurs R, G, B of src into dst (which may be src) with a symmetric kernel
// of 2n + 1 taps, n = quality * amount; pixels beyond an edge repeat the
// edge pixel. dst's A bytes are never written. Returns 1 after blurring,
// 0 for amount <= 0 (dst unchanged) and when scratch memory cannot be had
// (dst then receives src's R, G, B unblurred).
int gaussianBlur(const unsigned char *src, unsigned char *dst, int width, int height,
                 float amount, int quality);
