// The hue/saturation/value shift of invert, run over many pixels at once.
#pragma once

namespace invert_hsv {

// Whether the lane path gives the very bytes of the one-pixel shift for
// these slider values: each finite, and the hue turn (dh * 360 degrees)
// small enough that the wrap can be done without a general remainder.
bool lanes_apply(double dh, double ds, double dv);

// Shifts bytes 0..2 of n RGBA pixels in place; byte 3 is left alone.
void shift_lanes(unsigned char *px, long n, double dh, double ds, double dv);

}  // namespace invert_hsv
