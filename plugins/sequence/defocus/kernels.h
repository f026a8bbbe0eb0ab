// defocus: the disc kernels of the colour blurs and the separable blur of
// the depth masks.
#pragma once

#include "work_image.h"

namespace dof {

constexpr int kLevels = 64;  // kernels in the ladder; mask value v uses v / 4
// Half-width the kernels stay within: Blursize is held to 2..30, whose
// largest kernel reaches 30 pixels.
constexpr int kMaxReach = 32;

float zigma(float x);
Mask *gauss_mask(float r);
// kLevels kernels for radii 0.1, 0.1 + m/64, ...; null when one cannot be
// allocated (then nothing stays allocated).
Mask **init_masks(int n, float m);
void free_masks(Mask **ladder, int n);

void gauss_blur(Img *mask, float r);

}  // namespace dof
