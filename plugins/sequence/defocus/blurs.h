// defocus: the two colour blurs and the background gamma curve.
#pragma once

#include "work_image.h"

namespace dof {

// Background: gathers each pixel from a disc chosen by its background mask
// value, weighting neighbours by their own mask values. Null when the
// result cannot be allocated.
Img *defocus(const Img *a, const Img *back, Mask *const *ladder);
// Foreground: scatters each pixel over a disc chosen by its foreground
// mask value, after the contrast curve for sigma. Null (after perror) when
// a working image cannot be allocated.
Img *defocus2(const Img *a, const Img *front, Mask *const *ladder, float sigma);
void zgamma(Img *img, const Img *back, float gamma);

}  // namespace dof
