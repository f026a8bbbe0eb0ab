// The bare weighted sums of an exact separable blur with a window of the
// given number of taps.
#pragma once

void blur_floor(int width, int height, int taps);
