// The separable blur of the glow buffer.
#pragma once

// Blurs R, G, B of map in place with a 2n-tap kernel, n = (quality + 1) *
// distance; the window covers the offsets -n .. n-1, taps outside the image
// count as black and the weights are not renormalised there. The pixels
// within n of the right (top) end use the window mirrored, offsets n .. 1-n.
// A bytes are never touched. Does nothing for distance <= 0 or when its
// scratch memory cannot be had.
void RVBlurBitmap2(unsigned char *map, int width, int height, float distance, int quality);

// The whole halo of a frame in one walk down its rows: the highlights of in
// (isolate_highlights), blurred as RVBlurBitmap2 blurs them, stored in
// out's R, G, B and, unless only_boost, added to in (add_saturating, all
// four bytes). The bytes are those of the three passes over the frame;
// out may be in. Returns false, having done nothing, where the blur would
// do nothing or its memory cannot be had.
bool blur_halo(const unsigned char *in, unsigned char *out, int width, int height, int threshold,
               float boost, float clamp, float distance, int quality, bool only_boost);
