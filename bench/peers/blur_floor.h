// The bare weighted sums of an exact separable blur of a 2n-tap window.
#pragma once

void blur_floor(int width, int height, int n);
