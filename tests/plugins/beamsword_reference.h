// A plain, loop-by-loop rendering of the beam glow, to hold the module
// against: every fill of every source, clamped indices at every tap.
#pragma once

namespace beamsword_reference {

void expand(const unsigned char *src, unsigned char *dst, int w, int h, int expand,
            int threshold, const unsigned char colour[3]);
void blur(const unsigned char *src, unsigned char *dst, int w, int h, float amount, int quality);
// The whole effect on images of w x h.
void effect(const unsigned char *in, unsigned char *out, int w, int h, const unsigned char colour[3],
            int expand, int aura, float core, int quality);

}  // namespace beamsword_reference
