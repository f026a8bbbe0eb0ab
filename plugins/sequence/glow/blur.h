// The separable blur of the glow buffer.
#pragma once

// Blurs R, G, B of map in place with a 2n-tap kernel, n = (quality + 1) *
// distance; the window covers the offsets -n .. n-1, taps outside the image
// count as black and the weights are not renormalised there. The pixels
// within n of the right (top) end use the window mirrored, offsets n .. 1-n.
// A bytes are never touched. Does nothing for distance <= 0 or when its
// scratch memory cannot be had.
void RVBlurBitmap2(unsigned char *map, int width, int height, float distance, int quality);
