// A plain, loop-by-loop rendering of the glow routines, to hold the module
// against: no padding, no vectors, the border loops as two stores per step.
#pragma once

namespace glow_reference {

void isolate(const unsigned char *src, unsigned char *dst, int w, int h, int threshold,
             float boost, float clamp);
void blur(unsigned char *map, int w, int h, float distance, int quality);
void add(const unsigned char *a, const unsigned char *b, unsigned char *dst, int w, int h);

}  // namespace glow_reference
