// A plain, slow model of the defocus effect: every tap of every kernel
// visited in the written order, no tables, no skipped work. The module's
// fast paths must give the same bytes.
#pragma once

#include "seqfx/image.h"

#include <vector>

namespace defocus_model {

struct Settings {
  float blursize = 5, zmin = 0, focus = 0.8f, gamma = 1, sigma = 0;
  bool autofocus = true, ipofocus = false;
  float factor0 = 0;
};

int depth_of(float f);
float fraction_of(int z);
// Foreground and background masks after their blurs.
void masks(const seqfx::Image &in, int focus, int zmin, float blursize, std::vector<unsigned char> &front,
           std::vector<unsigned char> &back);
// The whole effect: RGB bytes of the result, alpha 255 (an empty vector
// for the error cases).
std::vector<unsigned char> render(const seqfx::Image &in, const Settings &s);

}  // namespace defocus_model
